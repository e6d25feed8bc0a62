#include "ui/run_messages.h"

#include "platform/text.h"

namespace travik {

void WindowRunListener::Clear() {
  Post(kMsgRunLog,
       std::make_unique<LogOperation>(LogOperation{LogOperation::Kind::kClear, {}, false}));
}

void WindowRunListener::Append(const core::LogLine& line) {
  Post(kMsgRunLog, std::make_unique<LogOperation>(
                       LogOperation{LogOperation::Kind::kAppend, Widen(line.text), line.issue}));
}

void WindowRunListener::ReplaceLast(const core::LogLine& line) {
  Post(kMsgRunLog, std::make_unique<LogOperation>(LogOperation{LogOperation::Kind::kReplaceLast,
                                                               Widen(line.text), line.issue}));
}

void WindowRunListener::Finished(core::CheckResult result) {
  Post(kMsgRunFinished, std::make_unique<core::CheckResult>(std::move(result)));
}

}  // namespace travik
