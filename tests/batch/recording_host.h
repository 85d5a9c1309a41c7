// A BatchHost for tests: answers the questions as told, records what the
// batch showed (messages in their English text), and cancels at a chosen
// cancel query.
#ifndef STRBATCH_TESTS_BATCH_RECORDING_HOST_H_
#define STRBATCH_TESTS_BATCH_RECORDING_HOST_H_

#include <string>
#include <utility>
#include <vector>

#include "base/batch_host.h"
#include "config/message_text.h"

namespace strbatch::testing {

class RecordingHost : public BatchHost {
 public:
  bool answer = true;
  int cancelAtQuery = -1;  // 0-based index of the cancel query that says yes
  int confirmations = 0;
  int queries = 0;
  bool progressShown = false;
  bool progressHidden = false;
  std::vector<std::string> messages;
  std::vector<int> positions;
  std::vector<size_t> selectedRows;
  std::vector<std::string> openedReports;
  std::vector<std::string> warnings;
  std::vector<std::string> notices;
  std::vector<std::pair<size_t, std::string>> rejected;  // row and message
  std::vector<Question> questions;
  LanguageCatalog texts{Language::English};

  bool Ask(Question question) override {
    confirmations++;
    questions.push_back(question);
    return answer;
  }
  void ShowProgress() override { progressShown = true; }
  void SetMessage(const std::string& text) override { messages.push_back(text); }
  void SetPosition(int percent) override { positions.push_back(percent); }
  bool CheckCancelled() override { return queries++ == cancelAtQuery; }
  void HideProgress() override { progressHidden = true; }
  void SelectFileRow(size_t row) override { selectedRows.push_back(row); }
  void OpenReport(const std::string& path) override { openedReports.push_back(path); }
  void Warn(const std::string& path, const Message& message) override {
    warnings.push_back(path + ": " + MessageText(texts, message));
  }
  void Notice(const std::string& path, const Message& message) override {
    notices.push_back(path + ": " + MessageText(texts, message));
  }
  void RejectDefinition(size_t row, const Message& message) override {
    rejected.emplace_back(row, MessageText(texts, message));
  }
};

}  // namespace strbatch::testing

#endif  // STRBATCH_TESTS_BATCH_RECORDING_HOST_H_
