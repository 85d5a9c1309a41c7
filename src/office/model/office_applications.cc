#include "office/model/office_applications.h"

#include <exception>

namespace strbatch {

OfficeApplications::~OfficeApplications() {
  try {
    QuitAll();
  } catch (const AutomationError&) {
    // Nothing more can be done from a destructor.
  }
}

template <class App, class Start>
App* OfficeApplications::Ensure(std::unique_ptr<App>& app, bool& failed, Start start,
                                Message* whyNot) {
  if (app) return app.get();
  // Starting can take seconds before it fails (the suite waits for the
  // instance to answer), so a failed start is not repeated for every
  // document of the run.
  if (failed || suite_ == nullptr) return nullptr;
  Message reason;
  app = start(&reason);
  if (!app) {
    failed = true;
    if (whyNot) *whyNot = reason;
  }
  return app.get();
}

template <class App>
void OfficeApplications::Quit(std::unique_ptr<App>& app, bool& failed) {
  failed = false;
  if (!app) return;
  std::unique_ptr<App> ending = std::move(app);
  ending->Quit();
}

WordApplication* OfficeApplications::EnsureWord(Message* whyNot) {
  return Ensure(word_, wordFailed_, [this](Message* r) { return suite_->StartWord(r); },
                whyNot);
}

ExcelApplication* OfficeApplications::EnsureExcel(Message* whyNot) {
  return Ensure(excel_, excelFailed_, [this](Message* r) { return suite_->StartExcel(r); },
                whyNot);
}

PowerPointApplication* OfficeApplications::EnsurePowerPoint(Message* whyNot) {
  return Ensure(powerPoint_, powerPointFailed_,
                [this](Message* r) { return suite_->StartPowerPoint(r); }, whyNot);
}

void OfficeApplications::QuitWord() { Quit(word_, wordFailed_); }
void OfficeApplications::QuitExcel() { Quit(excel_, excelFailed_); }
void OfficeApplications::QuitPowerPoint() { Quit(powerPoint_, powerPointFailed_); }

void OfficeApplications::QuitAll() {
  std::exception_ptr first;
  auto step = [&first](auto&& quit) {
    try {
      quit();
    } catch (const AutomationError&) {
      if (!first) first = std::current_exception();
    }
  };
  step([this] { QuitWord(); });
  step([this] { QuitExcel(); });
  step([this] { QuitPowerPoint(); });
  step([this] {
    if (suite_) suite_->EndRun();
  });
  if (first) std::rethrow_exception(first);
}

}  // namespace strbatch
