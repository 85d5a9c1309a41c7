// The suite of the LibreOffice plugin: Word, Excel and PowerPoint are
// Writer, Calc and Impress of one LibreOffice instance, started when the
// first of them is needed and ended when the last quits or the run ends.
#ifndef STRBATCH_OFFICE_LIBREOFFICE_LIBREOFFICE_SUITE_H_
#define STRBATCH_OFFICE_LIBREOFFICE_LIBREOFFICE_SUITE_H_

#include <com/sun/star/lang/XComponent.hpp>
#include <memory>
#include <utility>
#include <string>

#include "office/libreoffice_plugin.h"
#include "office/office_model.h"
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
                                              std::string* whyNot);
  ~LoadedDocument();

  const Reference<css::lang::XComponent>& Model() const { return model_; }
  // Set by every edit made through the object model.
  const std::shared_ptr<bool>& Edited() const { return edited_; }
  bool Modified();
  // Stores the document, in the format it was read in, to a new file.
  void StoreCopy(const std::string& path);
  void Close();

 private:
  LoadedDocument(Reference<css::lang::XComponent> model, rtl::OUString filter, std::string path)
      : model_(std::move(model)), filter_(std::move(filter)), path_(std::move(path)) {}
  Reference<css::lang::XComponent> model_;
  rtl::OUString filter_;
  std::string path_;
  std::shared_ptr<bool> edited_ = std::make_shared<bool>(false);
};

class LibreOfficeSuite : public OfficeSuite {
 public:
  explicit LibreOfficeSuite(const LibreOfficeSettings& settings) : settings_(settings) {}
  ~LibreOfficeSuite() override { EndRun(); }

  std::unique_ptr<WordApplication> StartWord(std::string* whyNot) override;
  std::unique_ptr<ExcelApplication> StartExcel(std::string* whyNot) override;
  std::unique_ptr<PowerPointApplication> StartPowerPoint(std::string* whyNot) override;
  void EndRun() override;

  // Called by an application when it quits.
  void ApplicationQuit();

 private:
  std::shared_ptr<OfficeProcess> Process(std::string* whyNot);

  LibreOfficeSettings settings_;
  std::shared_ptr<OfficeProcess> process_;
  bool startFailed_ = false;
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
  auto Open(const std::string& path, std::string* whyNot)
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

std::unique_ptr<WordApplication> MakeWriterApplication(LibreOfficeSuite& suite,
                                                       std::shared_ptr<OfficeProcess> process);
std::unique_ptr<ExcelApplication> MakeCalcApplication(LibreOfficeSuite& suite,
                                                      std::shared_ptr<OfficeProcess> process);
std::unique_ptr<PowerPointApplication> MakeImpressApplication(
    LibreOfficeSuite& suite, std::shared_ptr<OfficeProcess> process);

}  // namespace strbatch::uno

#endif  // STRBATCH_OFFICE_LIBREOFFICE_LIBREOFFICE_SUITE_H_
