#include "document_service.h"

#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/task/XJob.hpp>
#include <cppuhelper/implbase2.hxx>
#include <cppuhelper/implementationentry.hxx>
#include <cppuhelper/supportsservice.hxx>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "libreoffice_suite.h"
#include "office/office_save.h"
#include "office/stand_ins.h"

namespace strbatch::uno {
namespace {

using css::beans::NamedValue;
using css::uno::Any;
using css::uno::Sequence;

// ---- The wire -------------------------------------------------------------

Sequence<sal_Int8> Bytes(std::string_view text) {
  return Sequence<sal_Int8>(reinterpret_cast<const sal_Int8*>(text.data()),
                            static_cast<sal_Int32>(text.size()));
}

std::string String(const Sequence<sal_Int8>& bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.getConstArray()),
                     static_cast<size_t>(bytes.getLength()));
}

// The named values of a request or an answer.
class Message {
 public:
  Message() = default;
  explicit Message(const Sequence<NamedValue>& values) {
    for (const NamedValue& value : values) values_.push_back(value);
  }
  void Set(const char* name, const Any& value) {
    values_.push_back(NamedValue(rtl::OUString::createFromAscii(name), value));
  }
  void SetBytes(const char* name, std::string_view text) { Set(name, Any(Bytes(text))); }
  const Any* Find(const char* name) const {
    for (const NamedValue& value : values_) {
      if (value.Name.equalsAscii(name)) return &value.Value;
    }
    return nullptr;
  }
  bool Has(const char* name) const { return Find(name) != nullptr; }
  template <class T>
  T Get(const char* name) const {
    T result{};
    if (const Any* value = Find(name)) *value >>= result;
    return result;
  }
  std::string GetBytes(const char* name) const { return String(Get<Sequence<sal_Int8>>(name)); }
  Sequence<NamedValue> Values() const {
    return Sequence<NamedValue>(values_.data(), static_cast<sal_Int32>(values_.size()));
  }

 private:
  std::vector<NamedValue> values_;
};

// The occurrence calls of a document, queued on the program side and
// replayed in the service in the same order: B (a definition's searched
// text), L (an occurrence's start and length), E (its replacement).
void PutNumber(std::string& ops, uint64_t n) {
  char bytes[sizeof n];
  std::memcpy(bytes, &n, sizeof n);
  ops.append(bytes, sizeof n);
}

class OpReader {
 public:
  explicit OpReader(std::string_view ops) : ops_(ops) {}
  bool Done() const { return at_ >= ops_.size(); }
  char Kind() { return Take(1).front(); }
  uint64_t Number() {
    uint64_t n;
    std::memcpy(&n, Take(sizeof n).data(), sizeof n);
    return n;
  }
  std::string_view Text() { return Take(Number()); }

 private:
  std::string_view Take(uint64_t size) {
    if (size > ops_.size() - at_) throw AutomationError("LibreOffice: a damaged request");
    const std::string_view part = ops_.substr(at_, size);
    at_ += size;
    return part;
  }
  std::string_view ops_;
  size_t at_ = 0;
};

// Why a document was not opened crosses as its id, arguments and causes,
// never as text: the program words it in the user's language.
void PutReason(std::string& out, const strbatch::Message& reason) {
  PutNumber(out, static_cast<uint64_t>(reason.id));
  PutNumber(out, static_cast<uint64_t>(static_cast<int64_t>(reason.osError)));
  PutNumber(out, reason.args.size());
  for (const std::string& arg : reason.args) {
    PutNumber(out, arg.size());
    out += arg;
  }
  out += reason.cause ? 'C' : '.';
  if (reason.cause) PutReason(out, *reason.cause);
}

strbatch::Message TakeReason(OpReader& reader) {
  strbatch::Message reason;
  const uint64_t id = reader.Number();
  if (id >= static_cast<uint64_t>(MessageId::kCount)) {
    throw AutomationError("LibreOffice: a damaged answer");
  }
  reason.id = static_cast<MessageId>(id);
  reason.osError = static_cast<int>(static_cast<int64_t>(reader.Number()));
  for (uint64_t n = reader.Number(); n > 0; n--) reason.args.emplace_back(reader.Text());
  if (reader.Kind() == 'C') reason = reason.Because(TakeReason(reader));
  return reason;
}

Sequence<sal_Int64> LeftoverCounts(const NotApplied& leftovers) {
  Sequence<sal_Int64> counts(static_cast<sal_Int32>(NotAppliedReason::kCount));
  for (sal_Int32 r = 0; r < counts.getLength(); r++) {
    counts.getArray()[r] = static_cast<sal_Int64>(leftovers.counts[r]);
  }
  return counts;
}

NotApplied LeftoversFrom(const Sequence<sal_Int64>& counts) {
  NotApplied leftovers;
  const sal_Int32 reasons =
      std::min(counts.getLength(), static_cast<sal_Int32>(NotAppliedReason::kCount));
  for (sal_Int32 r = 0; r < reasons; r++) leftovers.counts[r] = static_cast<size_t>(counts[r]);
  return leftovers;
}

// ---- Inside soffice ---------------------------------------------------------

// Keeps the bytes a save writes instead of writing them: they go back to the
// program, which puts them in place.
class CapturingRewriter : public FileRewriter {
 public:
  std::unique_ptr<RewriteSession> Begin(const std::string&, strbatch::Message*) override {
    return std::make_unique<Session>(*this);
  }
  // A document saves by a rewrite only; nothing here moves or removes.
  bool Move(const std::string& from, const std::string& to, strbatch::Message* error) override {
    *error = strbatch::Message(MessageId::kCannotMove, {from, to});
    return false;
  }
  bool Remove(const std::string& path, strbatch::Message* error) override {
    *error = strbatch::Message(MessageId::kCannotDelete, {path});
    return false;
  }
  void Reset() { captured_.reset(); }
  std::optional<std::string>& Captured() { return captured_; }

 private:
  class Session : public RewriteSession {
   public:
    explicit Session(CapturingRewriter& owner) : owner_(owner) {}
    bool Write(const char* data, size_t size) override {
      bytes_.append(data, size);
      return true;
    }
    bool Commit(strbatch::Message*) override {
      owner_.captured_ = std::move(bytes_);
      return true;
    }

   private:
    CapturingRewriter& owner_;
    std::string bytes_;
  };
  std::optional<std::string> captured_;
};

const CodePage& CodePageNumbered(int number) {
  switch (number) {
    case CodePage::kGbk: return CodePage::Gbk();
    case CodePage::kBig5: return CodePage::Big5();
    case CodePage::kUtf8: return CodePage::Utf8();
    default: break;
  }
  static std::mutex mutex;
  static std::map<int, std::unique_ptr<CodePage>> others;
  std::lock_guard<std::mutex> lock(mutex);
  std::unique_ptr<CodePage>& page = others[number];
  if (!page) page = std::make_unique<CodePage>(number);
  return *page;
}

class DocumentService : public cppu::WeakImplHelper2<css::task::XJob, css::lang::XServiceInfo> {
 public:
  explicit DocumentService(const Reference<css::uno::XComponentContext>& context)
      : context_(context) {}

  Any SAL_CALL execute(const Sequence<NamedValue>& arguments) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const Message request(arguments);
    Message answer;
    const sal_Int32 id = request.Get<sal_Int32>("Id");
    try {
      Serve(request, id, answer);
    } catch (const AutomationError& e) {
      Fail(id, e.what(), answer);
    } catch (const css::uno::Exception& e) {
      Fail(id, "LibreOffice: " + ToUtf8(e.Message), answer);
    } catch (const std::exception& e) {
      Fail(id, std::string("LibreOffice: ") + e.what(), answer);
    }
    return Any(answer.Values());
  }

  rtl::OUString SAL_CALL getImplementationName() override { return Name(); }
  sal_Bool SAL_CALL supportsService(const rtl::OUString& name) override {
    return cppu::supportsService(this, name);
  }
  Sequence<rtl::OUString> SAL_CALL getSupportedServiceNames() override { return Names(); }

  static rtl::OUString Name() { return rtl::OUString::createFromAscii(kDocumentService); }
  static Sequence<rtl::OUString> Names() {
    const rtl::OUString name = Name();
    return Sequence<rtl::OUString>(&name, 1);
  }

 private:
  void Serve(const Message& request, sal_Int32 id, Message& answer) {
    const std::string op = request.GetBytes("Op");
    if (op == "open") {
      Open(request, answer);
      return;
    }
    auto found = documents_.find(id);
    if (found == documents_.end()) throw AutomationError("LibreOffice: the document is closed");
    OfficeDocument& document = *found->second;
    Replay(document, request.GetBytes("Ops"));
    if (op == "text") {
      const std::string text = document.WriteText();
      answer.SetBytes("Text", text);
      // A stand-in is a "?" of its own: the program is told where each one
      // is, so that it asks about an occurrence without a round trip.
      std::string standIns;
      for (size_t at = text.find('?'); at != std::string::npos; at = text.find('?', at + 1)) {
        if (!document.Admits(static_cast<int64_t>(at), 1)) PutNumber(standIns, at);
      }
      answer.SetBytes("StandIns", standIns);
      answer.Set("Unheld", Any(static_cast<sal_Int64>(document.StandIns())));
      answer.Set("ReadInPart", Any(static_cast<sal_Bool>(document.ReadInPart())));
    } else if (op == "others") {
      answer.SetBytes("Text", document.OtherStoriesText());
    } else if (op == "close") {
      rewriter_.Reset();
      document.Close(request.Get<sal_Bool>("Save"));
      answer.Set("Leftovers", Any(LeftoverCounts(document.Leftovers())));
      documents_.erase(found);
      if (rewriter_.Captured()) answer.SetBytes("Saved", *rewriter_.Captured());
      rewriter_.Reset();
      return;
    } else if (op == "drop") {
      documents_.erase(found);
      return;
    } else if (op != "edits") {
      throw AutomationError("LibreOffice: an unknown request");
    }
    answer.Set("Leftovers", Any(LeftoverCounts(document.Leftovers())));
  }

  void Open(const Message& request, Message& answer) {
    if (!bridge_) {
      bridge_ = MakeOfficeBridge(
          std::make_unique<LibreOfficeSuite>(OfficeProcess::Attach(context_)), rewriter_);
    }
    bridge_->SetParts(request.Get<sal_Int32>("Parts") == static_cast<sal_Int32>(OfficeParts::kAll)
                          ? OfficeParts::kAll
                          : OfficeParts::kBody);
    strbatch::Message whyNot;
    std::unique_ptr<OfficeDocument> document =
        bridge_->Open(request.GetBytes("Path"), static_cast<OfficeKind>(request.Get<sal_Int32>("Kind")),
                      CodePageNumbered(request.Get<sal_Int32>("CodePage")), &whyNot);
    if (!document) {
      std::string reason;
      PutReason(reason, whyNot);
      answer.SetBytes("WhyNot", reason);
      return;
    }
    const sal_Int32 id = ++lastId_;
    documents_[id] = std::move(document);
    answer.Set("Id", Any(id));
  }

  static void Replay(OfficeDocument& document, const std::string& ops) {
    OpReader reader(ops);
    while (!reader.Done()) {
      switch (reader.Kind()) {
        case 'B': document.BeginOccurrences(reader.Text()); break;
        case 'L': {
          const auto start = static_cast<int64_t>(reader.Number());
          document.LocateOccurrence(start, static_cast<int64_t>(reader.Number()));
          break;
        }
        case 'E': document.EditOccurrence(reader.Text()); break;
        default: throw AutomationError("LibreOffice: a damaged request");
      }
    }
  }

  // A document whose step failed is closed unsaved: the run ends on the
  // error.
  void Fail(sal_Int32 id, const std::string& message, Message& answer) {
    answer.SetBytes("Error", message);
    try {
      documents_.erase(id);
    } catch (...) {
      // Closing is best effort once a step has failed.
    }
  }

  std::mutex mutex_;
  Reference<css::uno::XComponentContext> context_;
  CapturingRewriter rewriter_;
  std::unique_ptr<OfficeBridge> bridge_;
  std::map<sal_Int32, std::unique_ptr<OfficeDocument>> documents_;
  sal_Int32 lastId_ = 0;
};

Reference<css::uno::XInterface> CreateService(
    const Reference<css::uno::XComponentContext>& context) {
  return static_cast<cppu::OWeakObject*>(new DocumentService(context));
}

const cppu::ImplementationEntry kEntries[] = {
    {CreateService, DocumentService::Name, DocumentService::Names,
     cppu::createSingleComponentFactory, nullptr, 0},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0}};

// ---- The program side ---------------------------------------------------------

// The service of one instance; requests fail as AutomationError, also when
// the instance has gone.
class ServiceConnection {
 public:
  ServiceConnection(std::shared_ptr<OfficeProcess> process,
                    const Reference<css::task::XJob>& service)
      : process_(std::move(process)), service_(service) {}

  Message Request(const std::string& what, const Message& request) {
    Message answer(Call(what, [&] {
      Sequence<NamedValue> values;
      service_->execute(request.Values()) >>= values;
      return values;
    }));
    if (answer.Has("Error")) throw AutomationError(answer.GetBytes("Error"));
    return answer;
  }

 private:
  std::shared_ptr<OfficeProcess> process_;
  Reference<css::task::XJob> service_;
};

class ServiceDocument : public OfficeDocument {
 public:
  ServiceDocument(std::shared_ptr<ServiceConnection> connection, sal_Int32 id, std::string path,
                  FileRewriter& rewriter)
      : connection_(std::move(connection)), id_(id), path_(std::move(path)), rewriter_(rewriter) {}

  ~ServiceDocument() override {
    if (closed_) return;
    try {
      Request("drop", "closing " + path_);
    } catch (const AutomationError&) {
      // The instance is going away with the run.
    }
  }

  std::string WriteText() override {
    const Message answer = Request("text", "reading " + path_);
    const std::string standIns = answer.GetBytes("StandIns");
    standIns_.Clear();
    for (OpReader reader(standIns); !reader.Done();) {
      const auto at = static_cast<size_t>(reader.Number());
      standIns_.Add(at, at + 1);
    }
    readInPart_ = readInPart_ || answer.Get<sal_Bool>("ReadInPart");
    unheld_ = static_cast<size_t>(answer.Get<sal_Int64>("Unheld"));
    return answer.GetBytes("Text");
  }
  std::string OtherStoriesText() override {
    return Request("others", "reading " + path_).GetBytes("Text");
  }
  bool Admits(int64_t start, int64_t length) const override {
    return standIns_.Admits(start, length);
  }
  size_t StandIns() const override { return unheld_; }
  bool ReadInPart() const override { return readInPart_; }

  void BeginOccurrences(std::string_view searchedText) override {
    ops_.push_back('B');
    PutNumber(ops_, searchedText.size());
    ops_.append(searchedText);
  }
  void LocateOccurrence(int64_t start, int64_t length) override {
    ops_.push_back('L');
    PutNumber(ops_, static_cast<uint64_t>(start));
    PutNumber(ops_, static_cast<uint64_t>(length));
  }
  void EditOccurrence(std::string_view replacement) override {
    ops_.push_back('E');
    PutNumber(ops_, replacement.size());
    ops_.append(replacement);
  }

  void Close(bool save) override {
    if (closed_) return;
    Message request = Start("close");
    request.Set("Save", Any(save));
    closed_ = true;
    const Message answer = connection_->Request("editing " + path_, request);
    leftovers_ = LeftoversFrom(answer.Get<Sequence<sal_Int64>>("Leftovers"));
    if (!answer.Has("Saved")) return;
    strbatch::Message error;
    if (!RewriteFile(rewriter_, path_, answer.GetBytes("Saved"), &error)) {
      ThrowCannotSave(path_, error);
    }
  }

  NotApplied Leftovers() const override {
    if (!closed_) {
      auto* self = const_cast<ServiceDocument*>(this);
      self->leftovers_ =
          LeftoversFrom(self->Request("edits", "editing " + path_).Get<Sequence<sal_Int64>>("Leftovers"));
    }
    return leftovers_;
  }

 private:
  // A request that carries the occurrence calls queued so far.
  Message Start(const char* op) {
    Message request;
    request.SetBytes("Op", op);
    request.Set("Id", Any(id_));
    request.SetBytes("Ops", ops_);
    ops_.clear();
    return request;
  }

  Message Request(const char* op, const std::string& what) {
    if (closed_) throw AutomationError(path_ + ": the document is closed");
    try {
      return connection_->Request(what, Start(op));
    } catch (const AutomationError&) {
      // The service has closed it.
      closed_ = true;
      throw;
    }
  }

  std::shared_ptr<ServiceConnection> connection_;
  const sal_Int32 id_;
  const std::string path_;
  FileRewriter& rewriter_;
  std::string ops_;
  bool closed_ = false;
  NotApplied leftovers_;
  StandInSpans standIns_;
  size_t unheld_ = 0;  // the stand-ins for characters, not for objects
  bool readInPart_ = false;
};

class ServiceBridge : public OfficeBridge {
 public:
  ServiceBridge(std::shared_ptr<ServiceConnection> connection, FileRewriter& rewriter)
      : connection_(std::move(connection)), rewriter_(rewriter) {}

  std::unique_ptr<OfficeDocument> Open(const std::string& path, OfficeKind kind,
                                       const CodePage& codePage,
                                       strbatch::Message* whyNot) override {
    Message request;
    request.SetBytes("Op", "open");
    request.SetBytes("Path", path);
    request.Set("Kind", Any(static_cast<sal_Int32>(kind)));
    request.Set("CodePage", Any(static_cast<sal_Int32>(codePage.Number())));
    request.Set("Parts", Any(static_cast<sal_Int32>(parts_)));
    const Message answer = connection_->Request("opening " + path, request);
    if (!answer.Has("Id")) {
      const std::string reason = answer.GetBytes("WhyNot");
      if (whyNot && !reason.empty()) {
        OpReader reader(reason);
        *whyNot = TakeReason(reader);
      }
      return nullptr;
    }
    return std::make_unique<ServiceDocument>(connection_, answer.Get<sal_Int32>("Id"), path,
                                             rewriter_);
  }

  // The suite ends the instance.
  void QuitAll() override {}
  void SetParts(OfficeParts parts) override { parts_ = parts; }

 private:
  std::shared_ptr<ServiceConnection> connection_;
  FileRewriter& rewriter_;
  OfficeParts parts_ = OfficeParts::kBody;
};

}  // namespace

bool WriteServiceRegistration(const std::string& path, const std::string& modulePath,
                              std::string* error) {
  std::ofstream out(path, std::ios::binary);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<components xmlns=\"http://openoffice.org/2010/uno-components\">\n"
         "<component loader=\"com.sun.star.loader.SharedLibrary\" uri=\""
      << ToUtf8(FileUrl(modulePath)) << "\">\n<implementation name=\"" << kDocumentService
      << "\">\n<service name=\"" << kDocumentService
      << "\"/>\n</implementation>\n</component>\n</components>\n";
  out.close();
  if (!out) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

std::unique_ptr<OfficeBridge> MakeServiceBridge(std::shared_ptr<OfficeProcess> process,
                                                FileRewriter& rewriter, std::string* error) {
  try {
    Reference<css::task::XJob> service(
        process->Context()->getServiceManager()->createInstanceWithContext(
            rtl::OUString::createFromAscii(kDocumentService), process->Context()),
        UNO_QUERY);
    if (!service.is()) {
      *error = "the instance does not offer the document service";
      return nullptr;
    }
    return std::make_unique<ServiceBridge>(
        std::make_shared<ServiceConnection>(std::move(process), service), rewriter);
  } catch (const css::uno::Exception& e) {
    *error = ToUtf8(e.Message);
    return nullptr;
  }
}

}  // namespace strbatch::uno

// The entry soffice calls to make the service.
extern "C" __attribute__((visibility("default"))) void* component_getFactory(
    const char* name, void* serviceManager, void* registryKey) {
  return cppu::component_getFactoryHelper(name, serviceManager, registryKey,
                                          strbatch::uno::kEntries);
}
