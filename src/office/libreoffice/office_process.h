// One LibreOffice instance for a batch run: soffice started headless and
// invisible with a private user profile in the private temporary directory,
// reached through a private pipe, and ended (with its profile removed) when
// the run is over. The process lives in a process group of its own, so a
// Ctrl-C meant to cancel the batch does not reach it, and it is killed by
// the kernel if this program dies first.
#ifndef STRBATCH_OFFICE_LIBREOFFICE_OFFICE_PROCESS_H_
#define STRBATCH_OFFICE_LIBREOFFICE_OFFICE_PROCESS_H_

#include <sys/types.h>

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <memory>
#include <string>

#include "office/model/libreoffice_plugin.h"
#include "uno_support.h"

namespace strbatch::uno {

class OfficeProcess {
 public:
  // Starts soffice and waits (bounded) until it answers; null with a reason
  // when it cannot be started or does not answer in time.
  static std::unique_ptr<OfficeProcess> Start(const LibreOfficeSettings& settings,
                                              std::string* error);
  // The instance this code runs in (the plugin loaded into soffice as a
  // component): nothing to start, and nothing to end.
  static std::shared_ptr<OfficeProcess> Attach(
      const Reference<css::uno::XComponentContext>& context);
  ~OfficeProcess();
  OfficeProcess(const OfficeProcess&) = delete;
  OfficeProcess& operator=(const OfficeProcess&) = delete;

  const Reference<css::uno::XComponentContext>& Context() const { return context_; }
  const Reference<css::frame::XDesktop2>& Desktop() const { return desktop_; }

  // Asks the instance to end, and kills it when it does not; removes the
  // profile. Safe to call more than once.
  void Terminate();

 private:
  OfficeProcess() = default;
  bool Launch(std::string* error);
  std::string PipePath() const;
  bool Connect(int seconds, std::string* error);

  bool attached_ = false;
  std::string soffice_;
  std::string registration_;  // the document service's, for the instance to load
  std::string profileDir_;
  std::string pipeName_;
  pid_t pid_ = -1;
  Reference<css::uno::XComponentContext> context_;
  Reference<css::frame::XDesktop2> desktop_;
};

}  // namespace strbatch::uno

#endif  // STRBATCH_OFFICE_LIBREOFFICE_OFFICE_PROCESS_H_
