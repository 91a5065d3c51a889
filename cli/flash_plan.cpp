#include "cli/flash_plan.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>

#include "cli/exit_status.h"
#include "cli/revision_order.h"
#include "cli/sense_text.h"
#include "os/user_files.h"

namespace troz::cli {

namespace {

constexpr int kJsonSchemaVersion = 1;
constexpr int kJsonIndent = 2;
constexpr const char* kWouldWrite =
    "Dry run: the package would be written; the drive was sent INQUIRY only.";

}  // namespace

void PrintPlan(const UpdatePlan& plan, std::FILE* out) {
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
    std::string answer;
    ReadAnswerLine(in, answer);
    answer = TrimmedField(answer);
    std::transform(answer.begin(), answer.end(), answer.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    return answer == "y" || answer == "yes" ? Consent::Given : Consent::Declined;
}

std::string RevisionReport(int index, const std::string& before,
                           const std::optional<std::string>& after) {
    const std::string drive = "Drive " + std::to_string(index);
    const std::string old = PrintableName(TrimmedField(before));
    if (!after) {
        return drive + " did not answer INQUIRY after the update; it reported revision " + old +
               " before.";
    }
    if (*after == before) {
        return drive + " still reports revision " + old + ": the revision did not change.";
    }
    return drive + " now reports revision " + PrintableName(TrimmedField(*after)) + " (it was " +
           old + ").";
}

std::string RevisionMismatch(int index, const std::string& target, const std::string& after) {
    return "trozflash-cli: drive " + std::to_string(index) + " reports revision " +
           PrintableName(TrimmedField(after)) + ", not " + PrintableName(target) +
           " of the firmware it was sent: the update is not confirmed.";
}

nlohmann::json FlashJson(const FlashRecord& record) {
    const UpdatePlan& plan = record.plan;
    nlohmann::json json = {
        {"schema_version", kJsonSchemaVersion},
        {"drive",
         {{"index", plan.driveIndex},
          {"identification", record.identification},
          {"text", plan.driveText},
          {"location", plan.location}}},
        {"package", plan.packagePath},
        {"target_product", plan.targetProduct},
        {"dry_run", record.dryRun},
        {"outcome", record.outcome},
        {"log", record.logLines},
        {"revision_before", TrimmedField(plan.revision)},
        {"revision_after", nullptr},
        {"revision_target", record.targetRevision},
        {"revision_order", record.revisionOrder},
        {"error", record.error.empty() ? nlohmann::json() : nlohmann::json(record.error)},
        {"interrupted_flashes", record.interruptedFlashes}};
    if (record.revisionAfter) {
        json["revision_after"] = TrimmedField(*record.revisionAfter);
    }
    if (record.failedBlock) {
        json["failed_block"] = *record.failedBlock;
    }
    return json;
}

nlohmann::json EarlyFlashJson(const std::string& packagePath, int status, const std::string& error,
                              const nlohmann::json& interruptedFlashes) {
    return {{"schema_version", kJsonSchemaVersion},
            {"drive", nullptr},
            {"package", packagePath},
            {"outcome", "not_written"},
            {"log", nlohmann::json::array()},
            {"error", error},
            {"exit_status", status},
            {"exit_meaning", ExitMeaning(status)},
            {"interrupted_flashes", interruptedFlashes}};
}

FlashReport::FlashReport(TerminalWindow& window, const FlashStreams& streams, UpdatePlan plan)
    : window_(window), streams_(streams) {
    record.plan = std::move(plan);
    window_.ObserveLines([this](const std::string& line) { record.logLines.push_back(line); });
}

void FlashReport::PlanReady(const UpdatePlan& plan) {
    record.plan = plan;
}

void FlashReport::CommandFailed(const CommandSense& sense) {
    const std::string words = SenseInPlainWords({sense.senseKey, sense.asc, sense.ascq});
    if (!words.empty()) {
        window_.Note(streams_.notes, "  sense: " + words);
    }
}

void FlashReport::BlockFailed(int blockNumber, std::uint8_t status) {
    record.failedBlock = blockNumber;
    char line[64];
    std::snprintf(line, sizeof line, "  failed at firmware block %d (status 0x%X)", blockNumber,
                  status);
    window_.Note(streams_.notes, line);
}

void FlashReport::UpdateFinished(const UpdateResult& result) {
    record.targetRevision = result.targetRevision;
    if (result.outcome != UpdateOutcome::Written) {
        return;
    }
    record.revisionAfter = result.revisionAfter;
    confirmed = result.RevisionAsTargeted();
    record.outcome = confirmed ? "written" : "unconfirmed";
    const int drive = record.plan.driveIndex;
    window_.Note(streams_.notes, RevisionReport(drive, record.plan.revision, result.revisionAfter));
    if (!confirmed && result.revisionAfter) {
        window_.Note(streams_.notes,
                     RevisionMismatch(drive, result.targetRevision, *result.revisionAfter));
    }
}

void FlashReport::Notice(const std::string& line) {
    lastNotice = line;
    window_.Note(streams_.notes, line);
}

void FlashReport::RestartNotAsked() {
    window_.SayRestartNotAsked();
}

namespace {

constexpr std::size_t kIdentificationLength = 24;

// Says whether the package upgrades, reinstalls or downgrades the drive, and refuses a
// reinstall or a downgrade that was not asked for. Revisions of another product (the
// identifications differ) are not compared: the compatibility checks judge those.
bool RevisionOrderAllowed(FlashRecord& record, const FlashChoices& choices, std::FILE* notes) {
    const UpdatePlan& plan = record.plan;
    const std::string& target = plan.targetProduct;
    // The drive's item text begins with its identification, as the target does.
    const bool sameProduct =
        target.size() > kIdentificationLength && plan.driveText.size() >= kIdentificationLength &&
        target.compare(0, kIdentificationLength, plan.driveText, 0, kIdentificationLength) == 0;
    const std::string targetRevision =
        target.size() > kIdentificationLength ? target.substr(kIdentificationLength) : "";
    const RevisionOrder order =
        sameProduct ? CompareRevisions(plan.revision, targetRevision) : RevisionOrder::Incomparable;
    static constexpr const char* kOrderNames[] = {"upgrade", "reinstall", "downgrade",
                                                  "incomparable"};
    record.revisionOrder = kOrderNames[static_cast<int>(order)];
    std::fprintf(notes, "  %s\n",
                 PrintableName(RevisionOrderLine(order, plan.revision, targetRevision)).c_str());
    const std::string drive = "drive " + std::to_string(plan.driveIndex);
    if (order == RevisionOrder::Same && !choices.allowReinstall) {
        record.error = "trozflash-cli: " + drive + " is already at " +
                       PrintableName(TrimmedField(plan.revision)) +
                       "; --allow-reinstall writes it again";
    } else if (order == RevisionOrder::Older && !choices.allowOlder) {
        record.error = "trozflash-cli: " + drive + " reports " +
                       PrintableName(TrimmedField(plan.revision)) + ", newer than the package's " +
                       PrintableName(TrimmedField(targetRevision)) +
                       "; --allow-older writes the older firmware";
    } else {
        return true;
    }
    std::fprintf(notes, "%s\n", record.error.c_str());
    return false;
}

// The exit status, after the record is printed when asked for.
int Finish(FlashRecord& record, const FlashChoices& choices, const FlashStreams& streams,
           int status) {
    if (choices.json) {
        // A run that did not do what it was asked says why: its own line, or the log's last.
        if (status != kExitOk && record.error.empty()) {
            record.error = record.logLines.empty() ? record.outcome : record.logLines.back();
        }
        nlohmann::json json = FlashJson(record);
        json["exit_status"] = status;
        json["exit_meaning"] = ExitMeaning(status);
        // Bytes that are not UTF-8 (a path, a drive's text) become U+FFFD in the record.
        std::fprintf(
            streams.out, "%s\n",
            json.dump(kJsonIndent, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        std::fflush(streams.out);
    }
    return status;
}

}  // namespace

int RunPlannedUpdate(UpdateSession& session, FlashReport& report, TerminalWindow& window,
                     const FlashChoices& choices, const FlashStreams& streams) {
    FlashRecord& record = report.record;
    record.dryRun = choices.dryRun;
    record.outcome = "not_written";
    session.Open();
    if (!session.ImageChosen()) {
        // Start's own refusal says why; there is nothing to plan or to ask.
        session.Check();
        return Finish(record, choices, streams, kExitFailed);
    }
    PrintPlan(record.plan, streams.notes);
    if (!RevisionOrderAllowed(record, choices, streams.notes)) {
        return Finish(record, choices, streams, kExitFailed);
    }
    if (choices.dryRun) {
        const bool wouldWrite = session.Check();
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
            record.error = kNotConfirmed;
            return Finish(record, choices, streams, kExitFailed);
        case Consent::NoTerminal:
            std::fprintf(streams.notes, "%s\n", kNoTerminalToAsk);
            record.outcome = "declined";
            record.error = kNoTerminalToAsk;
            return Finish(record, choices, streams, kExitUsage);
    }
    session.Start();
    window.Finish();
    return Finish(record, choices, streams, report.confirmed ? kExitOk : kExitFailed);
}

}  // namespace troz::cli
