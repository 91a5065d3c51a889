#include "virtual/drive_config.h"

namespace troz {

DriveIdentity DefaultIdentity() {
    return {"TROZ", "KVW-A100A", "1.00", {'A', '1'}};
}

VirtualDriveConfig ConfigFor(Personality personality) {
    return ConfigFor(personality, DefaultIdentity());
}

VirtualDriveConfig ConfigFor(Personality personality, const DriveIdentity& identity) {
    VirtualDriveConfig config;
    config.identity = identity;
    switch (personality) {
        case Personality::Direct:
            break;
        case Personality::ResendWithFunction5:
            config.RefuseTrigger(TriggerKind::Function4E, kSenseInvalidFieldInCdb);
            break;
        case Personality::ThirdAttempt:
            config.RefuseTrigger(TriggerKind::Function4E, kSenseInvalidFieldInCdb);
            config.RefuseTrigger(TriggerKind::Function5E, kSenseParameterListLength);
            break;
        case Personality::BufferedOnly:
            config.acceptsBlockDownload = false;
            config.queryFlag = 1;
            break;
        case Personality::BufferedResend:
            config.acceptsBlockDownload = false;
            config.queryFlag = 1;
            config.RefuseTrigger(TriggerKind::Function5F, kSenseParameterListLength);
            config.triggerAcceptance = TriggerAcceptance::NotReady;
            break;
        case Personality::NoDownload:
            config.acceptsBlockDownload = false;
            config.acceptsWriteBuffer = false;
            config.queryFlag = 0;
            break;
        case Personality::NeverComesBack:
            config.programmingNeverEnds = true;
            break;
        case Personality::ComesBackWithoutMedium:
            config.mediumPresent = false;
            break;
    }
    return config;
}

}  // namespace troz
