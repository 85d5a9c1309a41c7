#include "libreoffice_suite.h"

#include <dlfcn.h>
#include <unistd.h>

#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/task/PasswordRequest.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <com/sun/star/util/CloseVetoException.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <cppuhelper/implbase1.hxx>
#include <rtl/ref.hxx>
#include <cstdlib>

#include "document_service.h"

namespace strbatch::uno {
namespace {

// A filter flag: the filter can write files.
constexpr sal_Int32 kFilterExport = 0x2;

bool HasPrefix(const rtl::OUString& filter, const char* prefixes) {
  std::string list = prefixes;
  const std::string name = ToUtf8(filter);
  size_t start = 0;
  for (;;) {
    const size_t bar = list.find('|', start);
    const std::string prefix = list.substr(start, bar - start);
    if (!prefix.empty() && name.rfind(prefix, 0) == 0) return true;
    if (bar == std::string::npos) return false;
    start = bar + 1;
  }
}

sal_Int32 FilterFlags(const OfficeProcess& process, const rtl::OUString& filter) {
  Reference<css::container::XNameAccess> filters(
      process.Context()->getServiceManager()->createInstanceWithContext(
          "com.sun.star.document.FilterFactory", process.Context()),
      UNO_QUERY_THROW);
  css::uno::Sequence<css::beans::PropertyValue> properties;
  filters->getByName(filter) >>= properties;
  sal_Int32 flags = 0;
  for (const css::beans::PropertyValue& property : properties) {
    if (property.Name == "Flags") property.Value >>= flags;
  }
  return flags;
}

// Answers every question of a loading document with Abort, noting whether
// one asked for a password: a batch has no one to ask.
class PasswordWatch : public cppu::WeakImplHelper1<css::task::XInteractionHandler> {
 public:
  bool asked = false;

  void SAL_CALL handle(const Reference<css::task::XInteractionRequest>& request) override {
    if (request->getRequest().isExtractableTo(cppu::UnoType<css::task::PasswordRequest>::get())) {
      asked = true;
    }
    for (const Reference<css::task::XInteractionContinuation>& choice :
         request->getContinuations()) {
      Reference<css::task::XInteractionAbort> abort(choice, UNO_QUERY);
      if (abort.is()) {
        abort->select();
        return;
      }
    }
  }
};

css::uno::Sequence<css::beans::PropertyValue> LoadProperties(
    const Reference<css::task::XInteractionHandler>& handler) {
  std::vector<css::beans::PropertyValue> properties = {
      Property("Hidden", css::uno::Any(true)), Property("ReadOnly", css::uno::Any(false)),
      // Never run macros or refresh links of a user's file.
      Property("MacroExecutionMode", css::uno::Any(sal_Int16(0))),
      Property("UpdateDocMode", css::uno::Any(sal_Int16(0)))};
  if (handler.is()) properties.push_back(Property("InteractionHandler", css::uno::Any(handler)));
  return css::uno::Sequence<css::beans::PropertyValue>(properties.data(),
                                                       static_cast<sal_Int32>(properties.size()));
}

// Whether the file asks for a password when it is loaded: asked only of a
// file that gave no document, so that the loading of every other file stays
// as it is.
bool AsksForPassword(const OfficeProcess& process, const std::string& path) {
  rtl::Reference<PasswordWatch> watch(new PasswordWatch);
  Reference<css::lang::XComponent> model = Call("opening " + path, [&] {
    Reference<css::frame::XComponentLoader> loader(process.Desktop(), UNO_QUERY_THROW);
    return loader->loadComponentFromURL(FileUrl(path), "_blank", 0,
                                        LoadProperties(watch.get()));
  });
  if (model.is()) {
    Reference<css::util::XCloseable> closeable(model, UNO_QUERY);
    try {
      if (closeable.is()) closeable->close(true);
    } catch (const css::uno::Exception&) {
      // It goes with the instance at the end of the run.
    }
  }
  return watch->asked;
}

}  // namespace

std::unique_ptr<LoadedDocument> LoadedDocument::Load(const OfficeProcess& process,
                                                     const std::string& path,
                                                     const DocumentKind& kind,
                                                     Message* whyNot) {
  Reference<css::lang::XComponent> model = Call("opening " + path, [&] {
    Reference<css::frame::XComponentLoader> loader(process.Desktop(), UNO_QUERY_THROW);
    return loader->loadComponentFromURL(FileUrl(path), "_blank", 0, LoadProperties(nullptr));
  });
  if (!model.is()) {
    // LibreOffice refuses a document another instance holds, which it marks
    // with a lock file beside it; one left by a program that crashed stays.
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string lock =
        folder + ".~lock." + (slash == std::string::npos ? path : path.substr(slash + 1)) + "#";
    if (access(lock.c_str(), F_OK) == 0) {
      *whyNot = Message(MessageId::kInUseElsewhere, {lock});
    } else if (AsksForPassword(process, path)) {
      *whyNot = Message(MessageId::kPasswordProtected);
    } else {
      *whyNot = Message(MessageId::kLibreOfficeNoDocument);
    }
    return nullptr;
  }
  rtl::OUString filter;
  std::unique_ptr<LoadedDocument> document(new LoadedDocument(model, "", path));
  const bool accepted = Call("opening " + path, [&] {
    Reference<css::lang::XServiceInfo> info(model, UNO_QUERY_THROW);
    if (!info->supportsService(rtl::OUString::createFromAscii(kind.service))) return false;
    Reference<css::frame::XModel> frameModel(model, UNO_QUERY_THROW);
    for (const css::beans::PropertyValue& arg : frameModel->getArgs()) {
      if (arg.Name == "FilterName") arg.Value >>= filter;
    }
    // A file that is only named like a document (plain text, HTML, CSV)
    // would be rewritten in another format; such files are left alone.
    return HasPrefix(filter, kind.filterPrefixes) &&
           (FilterFlags(process, filter) & kFilterExport) != 0;
  });
  if (!accepted) {
    *whyNot = Message(MessageId::kLibreOfficeReadsAs, {ToUtf8(filter), kind.name});
    return nullptr;  // the destructor closes it
  }
  document->filter_ = filter;
  return document;
}

LoadedDocument::~LoadedDocument() {
  try {
    Close();
  } catch (const AutomationError&) {
    // The instance is going away with the run.
  }
}

bool LoadedDocument::Modified() {
  if (*edited_) return true;
  return Call("asking whether " + path_ + " changed", [&] {
    Reference<css::util::XModifiable> modifiable(model_, UNO_QUERY_THROW);
    return static_cast<bool>(modifiable->isModified());
  });
}

bool LoadedDocument::ReadOnly() {
  return Call("asking whether " + path_ + " is read-only", [&] {
    Reference<css::frame::XStorable> storable(model_, UNO_QUERY_THROW);
    return static_cast<bool>(storable->isReadonly());
  });
}

void LoadedDocument::LockControllers(bool lock) {
  Call("writing the edits", [&] {
    Reference<css::frame::XModel> model(model_, UNO_QUERY_THROW);
    if (lock) {
      model->lockControllers();
    } else {
      model->unlockControllers();
    }
  });
}

void LoadedDocument::StoreCopy(const std::string& path) {
  Call("saving " + path_, [&] {
    Reference<css::frame::XStorable> storable(model_, UNO_QUERY_THROW);
    storable->storeToURL(FileUrl(path),
                         Properties({Property("FilterName", css::uno::Any(filter_)),
                                     Property("Overwrite", css::uno::Any(true))}));
  });
}

void LoadedDocument::Close() {
  if (!model_.is()) return;
  // The SDK's UNO references cannot be moved from: copied, then cleared.
  Reference<css::lang::XComponent> model = model_;
  model_.clear();
  Call("closing " + path_, [&] {
    Reference<css::util::XCloseable> closeable(model, UNO_QUERY);
    if (closeable.is()) {
      try {
        closeable->close(true);
        return;
      } catch (const css::util::CloseVetoException&) {
        // Disposed below.
      }
    }
    model->dispose();
  });
}

std::shared_ptr<OfficeProcess> LibreOfficeSuite::Process(Message* whyNot) {
  if (process_) return process_;
  // One failed start per run is enough: it may have waited a long time.
  if (!startFailed_) {
    process_ = OfficeProcess::Start(settings_, &startError_);
    if (process_) return process_;
    startFailed_ = true;
  }
  // Told once, to the first caller that asks why.
  if (whyNot && !startError_.empty()) {
    *whyNot = Message(MessageId::kLibreOfficeCannotStart, {startError_});
    startError_.clear();
  }
  return nullptr;
}

OfficeBridge* LibreOfficeSuite::DocumentBridge(FileRewriter& rewriter) {
  if (documents_) return documents_.get();
  if (inside_ || settings_.serviceModule.empty() || documentsFailed_) return nullptr;
  std::shared_ptr<OfficeProcess> process = Process(nullptr);
  if (!process) return nullptr;
  // An instance without the service still serves the object model: the
  // documents are then worked over the pipe, only more slowly.
  std::string ignored;
  documents_ = MakeServiceBridge(std::move(process), rewriter, &ignored);
  documentsFailed_ = !documents_;
  return documents_.get();
}

void LibreOfficeSuite::ApplicationQuit() {
  if (applications_ > 0 && --applications_ == 0) EndRun();
}

void LibreOfficeSuite::EndRun() {
  applications_ = 0;
  if (inside_) return;
  startFailed_ = false;
  startError_.clear();
  documents_.reset();
  documentsFailed_ = false;
  if (!process_) return;
  // Objects still holding the process only find it ended.
  process_->Terminate();
  process_.reset();
}

}  // namespace strbatch::uno

extern "C" __attribute__((visibility("default"))) strbatch::OfficeSuite*
StrBatchCreateLibreOfficeSuite(const strbatch::LibreOfficeSettings& settings, std::string*) {
  strbatch::LibreOfficeSettings withService = settings;
#if !defined(__SANITIZE_ADDRESS__)
  // The instance loads this very module as its document service (a module
  // built with the sanitizers cannot be loaded into it). STRBATCH_OFFICE_PIPE
  // set keeps every call on the pipe.
  Dl_info self{};
  const char* pipeOnly = std::getenv("STRBATCH_OFFICE_PIPE");
  if ((pipeOnly == nullptr || *pipeOnly == '\0') &&
      dladdr(reinterpret_cast<void*>(&StrBatchCreateLibreOfficeSuite), &self) != 0 &&
      self.dli_fname != nullptr) {
    withService.serviceModule = self.dli_fname;
  }
#endif
  return new strbatch::uno::LibreOfficeSuite(withService);
}
