#pragma once
// A Host without windows: answers come from queues filled in advance,
// messages and progress are recorded. Used by tests and by the silent script run.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/host.h"

namespace quorvel {

struct MessageRecord {
  std::string text;
  int kind = 0;
  std::string caption;
  bool question = false;
};

class HeadlessHost : public Host {
 public:
  void showMessage(const std::string& text, int kind, const std::string& caption) override;
  int ask(const std::string& text, int kind, const std::string& caption) override;
  std::optional<std::string> chooseOpenFile(const FileDialogRequest& request) override;
  std::optional<std::string> chooseSaveFile(const FileDialogRequest& request) override;
  void setBusy(bool busy) override;
  void reportProgress(double fraction) override;
  EventRequests processEvents() override;
  void closeMainWindow() override;
  EventRequests takePendingRequests() override;
  int openWithDesktop(const std::string& target) override;
  void busyBegin(const std::string& operation) override;
  void busyEnd(const std::string& operation) override;
  void changed(Changes what) override;
  void documentChanged() override { ++changes; }
  std::optional<VolumeChoice> askVolume(const VolumeDialogState& state) override;
  std::optional<FadeChoice> askFade(const FadeDialogState& state) override;
  std::optional<SilenceChoice> askSilence(const SilenceDialogState& state) override;
  std::optional<SaveSelectionDialogState> askSaveSelection(const SaveSelectionDialogState& state) override;
  std::optional<SplitDialogState> askSplit(const SplitDialogState& state) override;

  // Scripted answers. An empty queue answers with the default.
  std::deque<int> answers;  // kAnswerYes, kAnswerNo or kAnswerEscape
  int defaultAnswer = kAnswerYes;
  std::deque<std::optional<std::string>> fileAnswers;  // nullopt = cancel
  int shellResult = 42;
  // Editing dialogs: an empty queue cancels.
  std::deque<std::optional<VolumeChoice>> volumeAnswers;
  std::deque<std::optional<FadeChoice>> fadeAnswers;
  std::deque<std::optional<SilenceChoice>> silenceAnswers;
  // Save-selection and split dialogs: each answer gets the state shown and
  // returns the accepted state, or nothing to cancel; an empty queue cancels.
  std::deque<std::function<std::optional<SaveSelectionDialogState>(const SaveSelectionDialogState&)>>
      saveSelectionAnswers;
  std::deque<std::function<std::optional<SplitDialogState>(const SplitDialogState&)>> splitAnswers;

  // Requests raised at the n-th call of processEvents (1-based); 0 = never.
  int cancelAtPoll = 0;
  int closeAtPoll = 0;
  // With requestsOnce, a request is raised at that poll only (a key press or a
  // close that arrives once), not at every later poll too.
  bool requestsOnce = false;
  // Requests recorded without a poll (a close while a dialog is open), handed
  // over by takePendingRequests.
  EventRequests pending;

  // What happened.
  std::vector<MessageRecord> messages;  // messages and questions, in order
  std::vector<FileDialogRequest> fileRequests;
  std::vector<double> progress;
  std::vector<std::string> opened;
  std::vector<VolumeDialogState> volumeRequests;
  std::vector<FadeDialogState> fadeRequests;
  std::vector<SilenceDialogState> silenceRequests;
  std::vector<SaveSelectionDialogState> saveSelectionRequests;
  std::vector<SplitDialogState> splitRequests;
  int polls = 0;
  int changes = 0;                   // every change call
  std::vector<Changes> changeLog;    // the bits of each changed call, in order
  bool busy = false;
  std::vector<bool> busyCalls;       // every setBusy call, in order
  // "begin NAME" and "end NAME" for every busyBegin and busyEnd, in order.
  std::vector<std::string> busyLog;
  bool mainWindowClosed = false;
  int closeMainWindowCalls = 0;

  // Called for every message (the silent run echoes nothing, tests may print).
  std::function<void(const MessageRecord&)> onMessage;
};

}  // namespace quorvel
