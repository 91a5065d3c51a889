#include "cli/flash_plan.h"

#include <algorithm>
#include <cctype>

#include "cli/exit_status.h"
#include "cli/sense_text.h"
#include "drive/scsi_commands.h"
#include "drive/user_files.h"

namespace troz::cli {

namespace {

constexpr std::size_t kInquiryBufferLength = 100;
// An answer longer than this is no yes; the rest of its line is read and dropped.
constexpr std::size_t kAnswerKeptLength = 16;
constexpr int kJsonSchemaVersion = 1;
constexpr int kJsonIndent = 2;
constexpr const char* kWouldWrite =
    "Dry run: the package would be written; the drive was sent INQUIRY only.";

bool IsBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string ReadLine(std::FILE* in) {
    std::string line;
    int c = 0;
    while ((c = std::getc(in)) != EOF && c != '\n') {
        if (line.size() < kAnswerKeptLength) {
            line += static_cast<char>(c);
        }
    }
    return line;
}

}  // namespace

void PrintPlan(const FlashPlan& plan, std::FILE* out) {
    std::fprintf(
        out,
        "About to write firmware into drive %d:\n"
        "  drive:    %s  (%s)\n"
        "  revision: %s\n"
        "  package:  %s\n"
        "  target:   %s\n",
        plan.driveIndex, PrintableName(plan.driveText).c_str(),
        PrintableName(plan.location).c_str(), PrintableName(TrimmedField(plan.revision)).c_str(),
        PrintableName(plan.packagePath).c_str(), PrintableName(plan.targetProduct).c_str());
    std::fflush(out);
}

Consent AskToWrite(bool assumeYes, bool inputIsTerminal, std::FILE* in, std::FILE* prompt) {
    if (assumeYes) {
        return Consent::Given;
    }
    if (!inputIsTerminal || in == nullptr) {
        return Consent::NoTerminal;
    }
    std::fprintf(prompt, "%s ", kWriteQuestion);
    std::fflush(prompt);
    std::string answer = TrimmedField(ReadLine(in));
    std::transform(answer.begin(), answer.end(), answer.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    return answer == "y" || answer == "yes" ? Consent::Given : Consent::Declined;
}

std::string TrimmedField(const std::string& field) {
    const auto first = std::find_if_not(field.begin(), field.end(), IsBlank);
    const auto last = std::find_if_not(field.rbegin(), field.rend(), IsBlank).base();
    return first < last ? std::string(first, last) : std::string();
}

std::optional<std::string> ReadRevision(TAtapi& atapi, int index) {
    std::uint8_t reply[kInquiryBufferLength] = {};
    atapi.SelectDevice(index);
    if (atapi.Inquiry(std::span(reply).first<kInquiryAllocationLength>()) != kCommandSuccess) {
        return std::nullopt;
    }
    const auto* revision = reinterpret_cast<const char*>(reply + kInquiryRevisionOffset);
    return std::string(revision, std::find(revision, revision + kInquiryRevisionLength, '\0'));
}

std::string RevisionReport(int index, const std::string& before,
                           const std::optional<std::string>& after) {
    const std::string drive = "Drive " + std::to_string(index);
    const std::string old = TrimmedField(before);
    if (!after) {
        return drive + " did not answer INQUIRY after the update; it reported revision " + old +
               " before.";
    }
    if (*after == before) {
        return drive + " still reports revision " + old + ": the revision did not change.";
    }
    return drive + " now reports revision " + TrimmedField(*after) + " (it was " + old + ").";
}

nlohmann::json FlashJson(const FlashRecord& record) {
    const FlashPlan& plan = record.plan;
    nlohmann::json json = {{"schema_version", kJsonSchemaVersion},
                           {"drive",
                            {{"index", plan.driveIndex},
                             {"identification", plan.driveText},
                             {"location", plan.location}}},
                           {"package", PrintableName(plan.packagePath)},
                           {"target_product", plan.targetProduct},
                           {"dry_run", record.dryRun},
                           {"outcome", record.outcome},
                           {"log", record.logLines},
                           {"revision_before", TrimmedField(plan.revision)},
                           {"revision_after", nullptr}};
    if (record.revisionAfter) {
        json["revision_after"] = TrimmedField(*record.revisionAfter);
    }
    return json;
}

namespace {

// The exit status, after the record is printed when asked for.
int Finish(const FlashRecord& record, const FlashChoices& choices, const FlashStreams& streams,
           int status) {
    if (choices.json) {
        std::fprintf(streams.out, "%s\n",
                     FlashJson(record)
                         .dump(kJsonIndent, ' ', false, nlohmann::json::error_handler_t::replace)
                         .c_str());
        std::fflush(streams.out);
    }
    return status;
}

}  // namespace

int RunPlannedUpdate(TAtapi& atapi, UpdateWorkflow& workflow, TerminalWindow& window,
                     int driveIndex, const std::string& packagePath, const FlashChoices& choices,
                     const FlashStreams& streams) {
    FlashRecord record;
    record.dryRun = choices.dryRun;
    record.outcome = "not_written";
    // What the drive says now, not what it said when it was listed.
    const std::string revisionBefore =
        ReadRevision(atapi, driveIndex).value_or(atapi.Entry(driveIndex).revision);
    window.ObserveLines([&](const std::string& line) {
        record.logLines.push_back(line);
        if (const std::optional<SenseCodes> codes = SenseCodesOfLine(line)) {
            const std::string words = SenseInPlainWords(*codes);
            if (!words.empty()) {
                std::fprintf(streams.notes, "  sense: %s\n", words.c_str());
            }
        }
        if (line == kFlashComplete) {
            record.revisionAfter = ReadRevision(atapi, driveIndex);
            std::fprintf(streams.notes, "%s\n",
                         RevisionReport(driveIndex, revisionBefore, record.revisionAfter).c_str());
        }
        std::fflush(streams.notes);
    });

    workflow.OpenPackage();
    record.plan = {driveIndex,
                   DriveItemText(atapi.Entry(driveIndex)),
                   atapi.Location(driveIndex),
                   revisionBefore,
                   packagePath,
                   window.TargetProductText()};
    if (!workflow.ImageChosen()) {
        // Start's own refusal says why; there is nothing to plan or to ask.
        workflow.CheckUpdate();
        return Finish(record, choices, streams, kExitFailed);
    }
    PrintPlan(record.plan, streams.notes);
    if (choices.dryRun) {
        const bool wouldWrite = workflow.CheckUpdate();
        window.Finish();
        if (wouldWrite) {
            record.outcome = "would_write";
            std::fprintf(streams.notes, "%s\n", kWouldWrite);
        }
        return Finish(record, choices, streams, wouldWrite ? kExitOk : kExitFailed);
    }
    switch (AskToWrite(choices.assumeYes, streams.inputIsTerminal, streams.in, streams.notes)) {
        case Consent::Given:
            break;
        case Consent::Declined:
            std::fprintf(streams.notes, "%s\n", kNotConfirmed);
            record.outcome = "declined";
            return Finish(record, choices, streams, kExitFailed);
        case Consent::NoTerminal:
            std::fprintf(streams.notes, "%s\n", kNoTerminalToAsk);
            record.outcome = "declined";
            return Finish(record, choices, streams, kExitUsage);
    }
    workflow.StartUpdate();
    window.Finish();
    const bool written = workflow.LastUpdateSucceeded();
    if (written) {
        record.outcome = "written";
    }
    return Finish(record, choices, streams, written ? kExitOk : kExitFailed);
}

}  // namespace troz::cli
