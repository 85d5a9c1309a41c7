// The application instances of one batch run: each started on the first
// document that needs it and kept until the run's quit operations, so that
// a run over many documents starts each application once. An application
// that cannot be started is not an error; it is not tried again in the same
// run, and its documents then yield no text.
#ifndef STRBATCH_OFFICE_MODEL_OFFICE_APPLICATIONS_H_
#define STRBATCH_OFFICE_MODEL_OFFICE_APPLICATIONS_H_

#include <memory>
#include <string>

#include "office/model/office_model.h"

namespace strbatch {

class OfficeApplications {
 public:
  // suite may be null: no application can be started then.
  explicit OfficeApplications(OfficeSuite* suite) : suite_(suite) {}
  ~OfficeApplications();
  OfficeApplications(const OfficeApplications&) = delete;
  OfficeApplications& operator=(const OfficeApplications&) = delete;

  // The running instance, started when missing; null when it cannot be
  // started (*whyNot tells why, the first time).
  WordApplication* EnsureWord(Message* whyNot);
  ExcelApplication* EnsureExcel(Message* whyNot);
  PowerPointApplication* EnsurePowerPoint(Message* whyNot);

  // End the instance if there is one; a later Ensure may start a new one.
  void QuitWord();
  void QuitExcel();
  void QuitPowerPoint();

  // Quits all three, in the order Word, Excel, PowerPoint, and ends what the
  // suite shared between them. Every step runs even when one throws; the
  // first error is rethrown at the end.
  void QuitAll();

 private:
  template <class App, class Start>
  App* Ensure(std::unique_ptr<App>& app, bool& failed, Start start, Message* whyNot);
  template <class App>
  void Quit(std::unique_ptr<App>& app, bool& failed);

  OfficeSuite* suite_;
  std::unique_ptr<WordApplication> word_;
  std::unique_ptr<ExcelApplication> excel_;
  std::unique_ptr<PowerPointApplication> powerPoint_;
  bool wordFailed_ = false;
  bool excelFailed_ = false;
  bool powerPointFailed_ = false;
};

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_MODEL_OFFICE_APPLICATIONS_H_
