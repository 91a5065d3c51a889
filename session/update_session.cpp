#include "session/update_session.h"

#include <algorithm>
#include <cctype>

#include "drive/scsi_commands.h"
#include "drive/text_field.h"

namespace troz {

namespace {

constexpr std::size_t kInquiryBufferLength = 100;
// The target product string: the drive's identification, then the revision the image brings.
constexpr std::size_t kIdentificationLength = 24;

// Flips a flag for the length of a scope, on every way out of it.
struct Mark {
    explicit Mark(bool& flag) : flag_(flag) { flag_ = true; }
    ~Mark() { flag_ = false; }
    bool& flag_;
};

}  // namespace

bool UpdateResult::RevisionAsTargeted() const {
    if (outcome != UpdateOutcome::Written || !revisionAfter) {
        return false;
    }
    // An image that names no revision cannot be checked against one.
    return targetRevision.empty() || TrimmedField(*revisionAfter) == targetRevision;
}

// The window the update code sees: the front end's, with the write span, the sense of a
// failed command and the restart question taken by the session.
class UpdateSession::Relay final : public UpdateWindow {
public:
    Relay(UpdateSession& session, UpdateWindow& window) : session_(session), window_(window) {}

    void AddLogLine(const std::string& text) override {
        if (session_.startRunning_) {
            session_.log_.push_back(text);
        }
        window_.AddLogLine(text);
    }
    void SetProgress(int percent) override { window_.SetProgress(percent); }
    void SetProgressRange(int minimum, int maximum) override {
        window_.SetProgressRange(minimum, maximum);
    }
    void SetDriveListEnabled(bool enabled) override { window_.SetDriveListEnabled(enabled); }
    void SetStartEnabled(bool enabled) override { window_.SetStartEnabled(enabled); }
    void SetExitEnabled(bool enabled) override { window_.SetExitEnabled(enabled); }
    std::string PackageFileName() override { return window_.PackageFileName(); }
    bool ChoosePackageFile() override { return window_.ChoosePackageFile(); }
    std::string TargetProductText() override { return window_.TargetProductText(); }
    void SetTargetProductText(const std::string& text) override {
        window_.SetTargetProductText(text);
    }
    int SelectedDriveIndex() override { return window_.SelectedDriveIndex(); }
    std::string SelectedDriveText() override { return window_.SelectedDriveText(); }
    void DispatchPendingEvents() override { window_.DispatchPendingEvents(); }
    void ShowFileError(const std::string& text) override { window_.ShowFileError(text); }
    bool AskRestart() override { return session_.AfterFlashComplete(); }
    void SetDriveBeingWritten(bool writing) override { session_.SetDriveBeingWritten(writing); }
    void CommandSenseReported(std::uint8_t status, const SenseBytes& sense) override {
        session_.observer_.CommandFailed({status, sense.senseKey, sense.asc, sense.ascq});
    }
    void FlashBlockFailed(int blockNumber, std::uint8_t status) override {
        session_.observer_.BlockFailed(blockNumber, status);
    }

private:
    UpdateSession& session_;
    UpdateWindow& window_;
};

UpdateSession::UpdateSession(TAtapi& atapi, UpdateWindow& window, Clock& clock,
                             SystemServices& services, ShutdownInhibitor& inhibitor,
                             SessionObserver& observer, SessionSettings settings)
    : atapi_(atapi),
      window_(window),
      inhibitor_(inhibitor),
      observer_(observer),
      settings_(settings),
      relay_(std::make_unique<Relay>(*this, window)),
      workflow_(atapi, *relay_, clock, services),
      span_(settings.signalNotices) {}

UpdateSession::~UpdateSession() {
    span_.End();
    ReleaseInhibitor();
}

bool UpdateSession::TakeWriterLock(int driveIndex) {
    if (lockedDrive_ == driveIndex && lockedDrive_ >= 0) {
        return true;
    }
    ReleaseWriterLock();
    if (driveIndex < 0 || driveIndex >= atapi_.DriveCount()) {
        return false;
    }
    DriveLockResult result = atapi_.LockForWriting(driveIndex);
    const std::string driveText = DriveItemText(atapi_.Entry(driveIndex));
    const std::string location = atapi_.Location(driveIndex);
    if (result.outcome == DriveLockOutcome::Taken) {
        lock_ = std::move(result);
        lockedDrive_ = driveIndex;
        return true;
    }
    // Writing without the lock would let a second copy write the same drive at once.
    observer_.Notice(LockRefusal(result, driveIndex, driveText, location));
    return false;
}

void UpdateSession::ReleaseWriterLock() {
    lock_ = DriveLockResult{};
    lockedDrive_ = -1;
}

void UpdateSession::Open() {
    const bool updating = workflow_.UpdateRunning();
    workflow_.OpenPackage();
    if (updating) {
        return;  // refused: the plan of the update that runs stays
    }
    plan_.reset();
    packageDigest_.reset();
    if (workflow_.ImageChosen()) {
        MakePlan();
        if (settings_.history != nullptr) {
            std::string reason;
            packageDigest_ = history::DigestFile(window_.PackageFileName(), reason);
        }
    }
}

void UpdateSession::MakePlan() {
    const int drive = window_.SelectedDriveIndex();
    if (drive < 0 || drive >= atapi_.DriveCount()) {
        return;
    }
    const DeviceEntry& entry = atapi_.Entry(drive);
    // What the drive says now, not what it said when it was listed.
    plan_ = UpdatePlan{drive,
                       DriveItemText(entry),
                       atapi_.Location(drive),
                       ReadRevision(drive).value_or(entry.revision),
                       window_.PackageFileName(),
                       window_.TargetProductText()};
    observer_.PlanReady(*plan_);
}

std::optional<std::string> UpdateSession::ReadRevision(int driveIndex) {
    std::uint8_t reply[kInquiryBufferLength] = {};
    atapi_.SelectDevice(driveIndex);
    if (atapi_.Inquiry(std::span(reply).first<kInquiryAllocationLength>()) != kCommandSuccess) {
        return std::nullopt;
    }
    const auto* revision = reinterpret_cast<const char*>(reply + kInquiryRevisionOffset);
    return std::string(revision, std::find(revision, revision + kInquiryRevisionLength, '\0'));
}

std::string UpdateSession::TargetRevision() const {
    const std::string target = plan_ ? plan_->targetProduct : std::string();
    return target.size() > kIdentificationLength
               ? TrimmedField(target.substr(kIdentificationLength))
               : std::string();
}

void UpdateSession::TakeInhibitor(int driveIndex) {
    // Before the first firmware command, not at it: asking the login manager may take a few
    // seconds, and the drive must not wait for that between two firmware commands.
    std::string error;
    const std::string drive =
        WrittenDriveName(DriveItemText(atapi_.Entry(driveIndex)), atapi_.Location(driveIndex));
    inhibitorHeld_ = inhibitor_.Take("Writing firmware into " + drive, error);
    if (!inhibitorHeld_ && !inhibitorMissingNoted_) {
        inhibitorMissingNoted_ = true;
        observer_.Notice(kNoInhibitorPrefix + error);
    }
}

void UpdateSession::ReleaseInhibitor() {
    if (inhibitorHeld_) {
        inhibitorHeld_ = false;
        inhibitor_.Release();
    }
}

bool UpdateSession::Start() {
    if (startRunning_ || workflow_.UpdateRunning()) {
        return false;
    }
    Mark running(startRunning_);
    finishReported_ = false;
    log_.clear();
    const int drive = window_.SelectedDriveIndex();
    const bool driveListed = drive >= 0 && drive < atapi_.DriveCount();
    // A Start the workflow refuses before it talks to the drive needs neither the lock nor
    // the inhibitor; every other one has both before the drive hears a command.
    const bool locksHere = driveListed && workflow_.ImageChosen() && lockedDrive_ != drive;
    bool written = false;
    if (!driveListed || !workflow_.ImageChosen() || TakeWriterLock(drive)) {
        if (driveListed && workflow_.ImageChosen()) {
            TakeInhibitor(drive);
        }
        workflow_.StartUpdate();
        written = workflow_.LastUpdateSucceeded();
        ReleaseInhibitor();
    }
    CompleteRecord(written, std::nullopt);
    if (locksHere) {
        ReleaseWriterLock();
    }
    if (!finishReported_) {
        finishReported_ = true;
        UpdateResult result;
        result.outcome = written ? UpdateOutcome::Written : UpdateOutcome::NotWritten;
        result.targetRevision = TargetRevision();
        observer_.UpdateFinished(result);
    }
    return written;
}

bool UpdateSession::Check() {
    UpdateResult result;
    result.outcome =
        workflow_.CheckUpdate() ? UpdateOutcome::WouldWrite : UpdateOutcome::NotWritten;
    result.targetRevision = TargetRevision();
    observer_.UpdateFinished(result);
    return result.outcome == UpdateOutcome::WouldWrite;
}

bool UpdateSession::Programming() const {
    // Once the flash is complete only the restart question is left: the drive is done.
    return startRunning_ && workflow_.UpdateRunning() && !workflow_.LastUpdateSucceeded();
}

void UpdateSession::SetDriveBeingWritten(bool writing) {
    if (writing) {
        BeginRecord();
        span_.Begin(settings_.wakeDescriptor);
        observer_.WriteSpanChanged(true);
        return;
    }
    span_.End();
    // The drive is done: shutdown may come again, and a restart must not wait for us.
    ReleaseInhibitor();
    observer_.WriteSpanChanged(false);
    if (span_.HeldSignal() != 0) {
        observer_.SignalHeld(span_.HeldSignal());
    }
}

bool UpdateSession::AfterFlashComplete() {
    finishReported_ = true;
    UpdateResult result;
    result.outcome = UpdateOutcome::Written;
    result.revisionAfter = ReadRevision(window_.SelectedDriveIndex());
    result.targetRevision = TargetRevision();
    CompleteRecord(true, result.revisionAfter);
    observer_.UpdateFinished(result);
    // Whoever sent the held signal wants the program to end, not the computer to restart.
    if (!settings_.askRestart || span_.HeldSignal() != 0) {
        observer_.RestartNotAsked();
        return false;
    }
    return window_.AskRestart();
}

void UpdateSession::BeginRecord() {
    if (settings_.history == nullptr || !plan_ || record_) {
        return;
    }
    const int drive = plan_->driveIndex;
    history::FlashStart start;
    start.frontEnd = settings_.frontEnd;
    start.driveIndex = drive;
    start.identification = atapi_.Entry(drive).identification;
    start.deviceNode = plan_->location;
    start.revisionBefore = TrimmedField(plan_->revision);
    start.packagePath = plan_->packagePath;
    if (packageDigest_) {
        start.packageSize = packageDigest_->size;
        start.packageSha256 = packageDigest_->sha256;
    }
    start.target = plan_->targetProduct;
    std::string error;
    record_ = settings_.history->Begin(start, error);
    if (!record_) {
        // The flash goes on: the drive must not wait half-written for a history.
        observer_.Notice(error + "; this flash is not recorded");
    }
}

void UpdateSession::CompleteRecord(bool written, const std::optional<std::string>& revisionAfter) {
    if (!record_) {
        return;
    }
    history::FlashEnd end;
    end.outcome = written ? history::kWritten : "failed";
    end.revisionAfter = revisionAfter ? TrimmedField(*revisionAfter) : std::string();
    end.log = log_;
    std::string error;
    if (!settings_.history->Complete(*record_, end, error)) {
        observer_.Notice(error);
    }
    record_.reset();
}

}  // namespace troz
