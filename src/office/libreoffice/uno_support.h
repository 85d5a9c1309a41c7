// Small helpers shared by the LibreOffice plugin: string conversion between
// UTF-8 and UNO strings, file URLs, and the translation of every UNO
// exception into AutomationError at the object model's boundary.
#ifndef STRBATCH_OFFICE_LIBREOFFICE_UNO_SUPPORT_H_
#define STRBATCH_OFFICE_LIBREOFFICE_UNO_SUPPORT_H_

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/Sequence.hxx>
#include <rtl/ustring.hxx>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "office/model/office_model.h"

namespace strbatch::uno {

namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

inline rtl::OUString FromUtf8(std::string_view text) {
  return rtl::OUString(text.data(), static_cast<sal_Int32>(text.size()), RTL_TEXTENCODING_UTF8);
}

inline std::string ToUtf8(const rtl::OUString& text) {
  rtl::OString bytes = rtl::OUStringToOString(text, RTL_TEXTENCODING_UTF8);
  return std::string(bytes.getStr(), static_cast<size_t>(bytes.getLength()));
}

// The file URL of a path (made absolute against the working directory).
rtl::OUString FileUrl(const std::string& path);

inline css::beans::PropertyValue Property(const char* name, const css::uno::Any& value) {
  css::beans::PropertyValue property;
  property.Name = rtl::OUString::createFromAscii(name);
  property.Value = value;
  return property;
}

inline css::uno::Sequence<css::beans::PropertyValue> Properties(
    const std::vector<css::beans::PropertyValue>& properties) {
  return css::uno::Sequence<css::beans::PropertyValue>(properties.data(),
                                                       static_cast<sal_Int32>(properties.size()));
}

// Runs f; a UNO exception becomes an AutomationError that names what was
// being done.
template <class F>
auto Call(const std::string& what, F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const css::uno::Exception& e) {
    const std::string message = ToUtf8(e.Message);
    throw AutomationError("LibreOffice: " + what +
                          (message.empty() ? std::string(" failed") : ": " + message));
  }
}

}  // namespace strbatch::uno

#endif  // STRBATCH_OFFICE_LIBREOFFICE_UNO_SUPPORT_H_
