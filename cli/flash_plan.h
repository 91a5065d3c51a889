// What trozflash-cli flash says around the update's own log: the plan before anything is
// written, the question that lets it write, and the revision the drive reports afterwards.
// All of it goes to standard error, so standard output keeps the log's lines alone.
#pragma once

#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/terminal_window.h"
#include "drive/atapi.h"
#include "update/update_workflow.h"

namespace troz::cli {

constexpr const char* kWriteQuestion = "Write this firmware? [y/N]";
constexpr const char* kNotConfirmed = "Nothing written: the firmware was not confirmed.";
constexpr const char* kNoTerminalToAsk =
    "trozflash-cli: flash asks before writing, and standard input is no terminal: "
    "give --yes to write without asking";

struct FlashPlan {
    int driveIndex = 0;
    std::string driveText;  // the drive list's item text
    std::string location;   // device node, or the ASPI address
    std::string revision;   // as the drive reported it when it was listed
    std::string packagePath;
    std::string targetProduct;  // of the image the Open step chose
};

// The plan, a few lines beginning with "About to write".
void PrintPlan(const FlashPlan& plan, std::FILE* out);

enum class Consent { Given, Declined, NoTerminal };

// --yes gives consent at once. Otherwise the question goes to prompt and one line is read
// from in; "y" or "yes" in any case is consent, anything else (an empty line, end of input)
// is not. Without a terminal on in there is nobody to ask.
Consent AskToWrite(bool assumeYes, bool inputIsTerminal, std::FILE* in, std::FILE* prompt);

// A field of INQUIRY without the blanks that pad it.
std::string TrimmedField(const std::string& field);

// The revision the drive reports now (INQUIRY bytes 32-35), nothing when it does not answer.
std::optional<std::string> ReadRevision(TAtapi& atapi, int index);

// "Drive 0 now reports revision 1.10 (it was 1.00)." or, unchanged, a line that says so.
std::string RevisionReport(int index, const std::string& before,
                           const std::optional<std::string>& after);

// What flash --json prints: the plan, the outcome, the log's lines and the revisions.
struct FlashRecord {
    FlashPlan plan;
    bool dryRun = false;
    std::string outcome;  // written, would_write, not_written, declined
    std::vector<std::string> logLines;
    std::optional<std::string> revisionAfter;
};
nlohmann::json FlashJson(const FlashRecord& record);

struct FlashChoices {
    bool assumeYes = false;  // --yes
    bool dryRun = false;     // --dry-run
    bool json = false;       // --json: the record on out, everything else on standard error
};

// Where the flash's side lines go, and what tells whether someone can answer there.
struct FlashStreams {
    std::FILE* in = stdin;
    bool inputIsTerminal = false;
    std::FILE* out = stdout;    // the JSON record
    std::FILE* notes = stderr;  // the plan, the question, sense in words, the revision after
};

// The Open step, the plan, the consent, then Start (or, for a dry run, its checks alone),
// the sense of log lines in plain words and the revision afterwards. The exit status.
int RunPlannedUpdate(TAtapi& atapi, UpdateWorkflow& workflow, TerminalWindow& window,
                     int driveIndex, const std::string& packagePath, const FlashChoices& choices,
                     const FlashStreams& streams);

}  // namespace troz::cli
