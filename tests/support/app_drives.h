// Three drives as the device table lists them, and the texts their list items must show.
#pragma once

#include <QStringList>
#include <vector>

#include "tests/support/drive_fakes.h"

namespace troz::test {

inline std::vector<ScriptedDrive> ThreeDrives() {
    return {
        {"TROZ", "KVW-A100A", "1.00"},
        {"TROZ", "KVC-F600", "2.10"},
        {"OTHER", "CD-ROM X52", "0.9A"},
    };
}

inline QStringList ThreeDriveTexts() {
    return {
        QStringLiteral("TROZ    KVW-A100A        1.00"),
        QStringLiteral("TROZ    KVC-F600         2.10"),
        QStringLiteral("OTHER   CD-ROM X52       0.9A"),
    };
}

}  // namespace troz::test
