#include "core/headless_host.h"

namespace quorvel {

void HeadlessHost::showMessage(const std::string& text, int kind, const std::string& caption) {
  messages.push_back({text, kind, caption, false});
  if (onMessage) onMessage(messages.back());
}

int HeadlessHost::ask(const std::string& text, int kind, const std::string& caption) {
  messages.push_back({text, kind, caption, true});
  if (onMessage) onMessage(messages.back());
  if (answers.empty()) return defaultAnswer;
  int answer = answers.front();
  answers.pop_front();
  return answer;
}

std::optional<std::string> HeadlessHost::chooseOpenFile(const FileDialogRequest& request) {
  fileRequests.push_back(request);
  if (fileAnswers.empty()) return std::nullopt;
  auto answer = fileAnswers.front();
  fileAnswers.pop_front();
  return answer;
}

std::optional<std::string> HeadlessHost::chooseSaveFile(const FileDialogRequest& request) {
  return chooseOpenFile(request);
}

void HeadlessHost::setBusy(bool on) {
  busy = on;
  busyCalls.push_back(on);
}

void HeadlessHost::busyBegin(const std::string& operation) { busyLog.push_back("begin " + operation); }

void HeadlessHost::busyEnd(const std::string& operation) { busyLog.push_back("end " + operation); }

void HeadlessHost::changed(Changes what) {
  changeLog.push_back(what);
  documentChanged();
}

void HeadlessHost::reportProgress(double fraction) { progress.push_back(fraction); }

EventRequests HeadlessHost::processEvents() {
  ++polls;
  EventRequests requests;
  auto raised = [this](int at) { return at > 0 && (requestsOnce ? polls == at : polls >= at); };
  requests.cancel = raised(cancelAtPoll) || pending.cancel;
  requests.close = raised(closeAtPoll) || pending.close;
  pending = EventRequests{};
  return requests;
}

void HeadlessHost::closeMainWindow() {
  mainWindowClosed = true;
  ++closeMainWindowCalls;
}

EventRequests HeadlessHost::takePendingRequests() {
  EventRequests taken = pending;
  pending = EventRequests{};
  return taken;
}

int HeadlessHost::openWithDesktop(const std::string& target) {
  opened.push_back(target);
  return shellResult;
}

namespace {
template <typename T>
std::optional<T> nextAnswer(std::deque<std::optional<T>>& queue) {
  if (queue.empty()) return std::nullopt;
  auto answer = queue.front();
  queue.pop_front();
  return answer;
}
}  // namespace

std::optional<VolumeChoice> HeadlessHost::askVolume(const VolumeDialogState& state) {
  volumeRequests.push_back(state);
  return nextAnswer(volumeAnswers);
}

std::optional<FadeChoice> HeadlessHost::askFade(const FadeDialogState& state) {
  fadeRequests.push_back(state);
  return nextAnswer(fadeAnswers);
}

std::optional<SilenceChoice> HeadlessHost::askSilence(const SilenceDialogState& state) {
  silenceRequests.push_back(state);
  return nextAnswer(silenceAnswers);
}

namespace {
template <typename T>
std::optional<T> nextDialogAnswer(std::deque<std::function<std::optional<T>(const T&)>>& queue, const T& state) {
  if (queue.empty()) return std::nullopt;
  auto answer = std::move(queue.front());
  queue.pop_front();
  return answer ? answer(state) : std::nullopt;
}
}  // namespace

std::optional<SaveSelectionDialogState> HeadlessHost::askSaveSelection(const SaveSelectionDialogState& state) {
  saveSelectionRequests.push_back(state);
  return nextDialogAnswer(saveSelectionAnswers, state);
}

std::optional<SplitDialogState> HeadlessHost::askSplit(const SplitDialogState& state) {
  splitRequests.push_back(state);
  return nextDialogAnswer(splitAnswers, state);
}

}  // namespace quorvel
