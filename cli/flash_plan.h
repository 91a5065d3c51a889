// What trozflash-cli flash says around the update's own log: the plan before anything is
// written, the question that lets it write, and the revision the drive reports afterwards.
// All of it goes to standard error, so standard output keeps the log's lines alone. What it
// says comes from the update session's events.
#pragma once

#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/terminal_window.h"
#include "drive/text_field.h"
#include "session/update_session.h"

namespace troz::cli {

constexpr const char* kWriteQuestion = "Write this firmware? [y/N]";
constexpr const char* kNotConfirmed = "Nothing written: the firmware was not confirmed.";
constexpr const char* kNoTerminalToAsk =
    "trozflash-cli: flash asks before writing, and standard input is no terminal: "
    "give --yes to write without asking";

// The plan, a few lines beginning with "About to write".
void PrintPlan(const UpdatePlan& plan, std::FILE* out);

enum class Consent { Given, Declined, NoTerminal };

// --yes gives consent at once. Otherwise the question goes to prompt and one line is read
// from in; "y" or "yes" in any case is consent, anything else (an empty line, end of input,
// a line longer than any answer) is not. Without a terminal on in there is nobody to ask.
Consent AskToWrite(bool assumeYes, bool inputIsTerminal, std::FILE* in, std::FILE* prompt);

// "Drive 0 now reports revision 1.10 (it was 1.00)." or, unchanged, a line that says so.
std::string RevisionReport(int index, const std::string& before,
                           const std::optional<std::string>& after);
// The line for a drive that, after "Ok:Flash Complete!!", reports another revision than the
// one of the firmware it was sent.
std::string RevisionMismatch(int index, const std::string& target, const std::string& after);

// What flash --json prints: the plan, the outcome, the log's lines and the revisions.
struct FlashRecord {
    UpdatePlan plan;
    bool dryRun = false;
    std::string outcome;  // written, unconfirmed, would_write, not_written, declined
    std::vector<std::string> logLines;
    std::optional<std::string> revisionAfter;
    std::string targetRevision;
    // The warnings of interrupted flashes this run began with.
    nlohmann::json interruptedFlashes = nlohmann::json::array();
    // The drive's INQUIRY vendor and product, as list gives them.
    std::string identification;
    // upgrade, reinstall, downgrade, or incomparable; empty before the plan.
    std::string revisionOrder;
    // Why the run ended without writing, when it did not write.
    std::string error;
    // The firmware block whose command failed, when one did.
    std::optional<int> failedBlock;
};
nlohmann::json FlashJson(const FlashRecord& record);
// The record of a run that ended before a drive was chosen: no drive, the error, the status.
nlohmann::json EarlyFlashJson(const std::string& packagePath, int status, const std::string& error,
                              const nlohmann::json& interruptedFlashes);

struct FlashChoices {
    bool assumeYes = false;       // --yes
    bool dryRun = false;          // --dry-run
    bool json = false;            // --json: the record on out, everything else on standard error
    bool allowReinstall = false;  // --allow-reinstall: write the revision the drive has
    bool allowOlder = false;      // --allow-older: write an older revision than the drive's
};

// Where the flash's side lines go, and what tells whether someone can answer there.
struct FlashStreams {
    std::FILE* in = stdin;
    bool inputIsTerminal = false;
    std::FILE* out = stdout;    // the JSON record
    std::FILE* notes = stderr;  // the plan, the question, sense in words, the revision after
};

// The session's events as flash shows them: the plan kept for the record, a failed
// command's sense in words, notices, the revision after the update, and the restart
// question answered without asking.
class FlashReport : public SessionObserver {
public:
    // plan: what is known before the Open step (the drive as listed, the path), kept in the
    // record when the Open step chooses no image.
    FlashReport(TerminalWindow& window, const FlashStreams& streams, UpdatePlan plan);

    void PlanReady(const UpdatePlan& plan) override;
    void CommandFailed(const CommandSense& sense) override;
    void BlockFailed(int blockNumber, std::uint8_t status) override;
    void UpdateFinished(const UpdateResult& result) override;
    void Notice(const std::string& line) override;
    void RestartNotAsked() override;

    FlashRecord record;
    std::string lastNotice;  // the last line Notice got (a refused lock says why there)
    // The firmware was written and the drive reports its revision.
    bool confirmed = false;

private:
    TerminalWindow& window_;
    FlashStreams streams_;
};

// The Open step, the plan, the consent, then Start (or, for a dry run, its checks alone).
// The exit status.
int RunPlannedUpdate(UpdateSession& session, FlashReport& report, TerminalWindow& window,
                     const FlashChoices& choices, const FlashStreams& streams);

}  // namespace troz::cli
