// The suite of the LibreOffice plugin: Word, Excel and PowerPoint are
// Writer, Calc and Impress of one LibreOffice instance, started when the
// first of them is needed and ended when the last quits or the run ends.
#ifndef STRBATCH_OFFICE_LIBREOFFICE_LIBREOFFICE_SUITE_H_
#define STRBATCH_OFFICE_LIBREOFFICE_LIBREOFFICE_SUITE_H_

#include <com/sun/star/lang/XComponent.hpp>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "office/model/libreoffice_plugin.h"
#include "office/model/office_model.h"
#include "office/office_bridge.h"
#include "office_process.h"
#include "uno_support.h"

namespace strbatch::uno {

// What kind of document an application opens, and which of LibreOffice's
// file formats it stores back as they came.
struct DocumentKind {
  const char* name;            // "a Word", for messages
  const char* service;         // the document service it must have
  const char* filterPrefixes;  // "|"-separated prefixes of the accepted filters
};

// A loaded document: its model, the filter it was read with, and its end.
class LoadedDocument {
 public:
  // Loads path hidden, for editing, with macros and links left alone. Null
  // (reason in *whyNot) when it is not a document of this kind that its
  // filter can store back; throws AutomationError when loading fails.
  static std::unique_ptr<LoadedDocument> Load(const OfficeProcess& process,
                                              const std::string& path, const DocumentKind& kind,
                                              Message* whyNot);
  ~LoadedDocument();

  const Reference<css::lang::XComponent>& Model() const { return model_; }
  // Set by every edit made through the object model.
  const std::shared_ptr<bool>& Edited() const { return edited_; }
  bool Modified();
  // Whether LibreOffice opened it read-only (a file it may not write):
  // nothing in it is edited.
  bool ReadOnly();
  void LockControllers(bool lock);
  // Stores the document, in the format it was read in, to a new file.
  void StoreCopy(const std::string& path);
  void Close();

 private:
  LoadedDocument(const Reference<css::lang::XComponent>& model, const rtl::OUString& filter,
                 std::string path)
      : model_(model), filter_(filter), path_(std::move(path)) {}
  Reference<css::lang::XComponent> model_;
  rtl::OUString filter_;
  std::string path_;
  std::shared_ptr<bool> edited_ = std::make_shared<bool>(false);
};

class LibreOfficeSuite : public OfficeSuite {
 public:
  explicit LibreOfficeSuite(const LibreOfficeSettings& settings) : settings_(settings) {}
  // The suite of the instance this code runs in.
  explicit LibreOfficeSuite(std::shared_ptr<OfficeProcess> inside)
      : process_(std::move(inside)), inside_(true) {}
  ~LibreOfficeSuite() override { EndRun(); }

  // The document service of the instance (document_service.h), when the
  // instance offers it.
  OfficeBridge* DocumentBridge(FileRewriter& rewriter) override;

  // Each defined beside its documents (libreoffice_writer.cc, ..._calc.cc,
  // ..._impress.cc).
  std::unique_ptr<WordApplication> StartWord(Message* whyNot) override;
  std::unique_ptr<ExcelApplication> StartExcel(Message* whyNot) override;
  std::unique_ptr<PowerPointApplication> StartPowerPoint(Message* whyNot) override;
  void EndRun() override;

  // Called by an application when it quits.
  void ApplicationQuit();

 private:
  // An application of the instance (started when missing) that opens
  // documents of kind as Made.
  template <class Interface, class Made>
  std::unique_ptr<Interface> Start(const DocumentKind& kind, Message* whyNot);
  std::shared_ptr<OfficeProcess> Process(Message* whyNot);

  LibreOfficeSettings settings_;
  std::shared_ptr<OfficeProcess> process_;
  bool inside_ = false;
  bool startFailed_ = false;
  std::string startError_;  // why the start failed, until told
  std::unique_ptr<OfficeBridge> documents_;
  bool documentsFailed_ = false;
  int applications_ = 0;
};

// An application of the suite: it opens documents of its kind as Made, and
// leaves the instance to the suite when it quits.
template <class Interface, class Made>
class SuiteApplication : public Interface {
 public:
  SuiteApplication(LibreOfficeSuite& suite, std::shared_ptr<OfficeProcess> process,
                   const DocumentKind& kind)
      : suite_(suite), process_(std::move(process)), kind_(kind) {}
  auto Open(const std::string& path, Message* whyNot)
      -> decltype(std::declval<Interface&>().Open(path, whyNot)) override {
    if (!process_) throw AutomationError("LibreOffice: the application has quit");
    std::unique_ptr<LoadedDocument> loaded = LoadedDocument::Load(*process_, path, kind_, whyNot);
    if (!loaded) return nullptr;
    return std::make_unique<Made>(std::move(loaded));
  }
  void Quit() override {
    process_.reset();
    suite_.ApplicationQuit();
  }

 private:
  LibreOfficeSuite& suite_;
  std::shared_ptr<OfficeProcess> process_;
  const DocumentKind& kind_;
};

template <class Interface, class Made>
std::unique_ptr<Interface> LibreOfficeSuite::Start(const DocumentKind& kind, Message* whyNot) {
  std::shared_ptr<OfficeProcess> process = Process(whyNot);
  if (!process) return nullptr;
  applications_++;
  return std::make_unique<SuiteApplication<Interface, Made>>(*this, std::move(process), kind);
}

// A document of the suite over its loaded model (Interface: WordDocument,
// ExcelWorkbook or PowerPointPresentation).
// Edits held by the document's mirrors are written into the model before
// it tells whether it changed or is saved.
template <class Interface>
class SuiteDocument : public Interface {
 public:
  explicit SuiteDocument(std::unique_ptr<LoadedDocument> loaded) : loaded_(std::move(loaded)) {}
  bool Modified() override {
    Flush();
    return loaded_->Modified();
  }
  void SaveCopyAs(const std::string& path) override {
    Flush();
    loaded_->StoreCopy(path);
  }
  void Close() override { loaded_->Close(); }

 protected:
  virtual void FlushEdits() {}
  std::unique_ptr<LoadedDocument> loaded_;

 private:
  // With its controllers locked, the document is laid out once after all
  // edits, not after each: in a long paragraph that is seconds a call.
  void Flush() {
    loaded_->LockControllers(true);
    try {
      FlushEdits();
    } catch (...) {
      loaded_->LockControllers(false);
      throw;
    }
    loaded_->LockControllers(false);
  }
};

// The index-th (1-based) of a document's items that are read on first use
// (worksheets, slides, shapes); read fills an item's empty entry, given its
// 0-based index. what names the item in the error for a missing one.
template <class Item, class Read>
const std::shared_ptr<Item>& LazyItem(std::vector<std::shared_ptr<Item>>& items, long index,
                                      const char* what, Read read) {
  if (index < 1 || index > static_cast<long>(items.size())) {
    throw AutomationError("LibreOffice: " + std::string(what) + " " + std::to_string(index) +
                          " is missing");
  }
  std::shared_ptr<Item>& item = items[static_cast<size_t>(index - 1)];
  if (!item) read(item, static_cast<sal_Int32>(index - 1));
  return item;
}

}  // namespace strbatch::uno

#endif  // STRBATCH_OFFICE_LIBREOFFICE_LIBREOFFICE_SUITE_H_
