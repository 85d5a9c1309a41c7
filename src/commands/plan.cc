#include "commands/plan.h"

#include <nlohmann/json.hpp>
#include <string_view>
#include <utility>

#include "base/file_fingerprint.h"
#include "base/text_encoding.h"
#include "batch/text_diff.h"

namespace strbatch {
namespace {

std::string Quoted(std::string_view text) {
  return nlohmann::json(std::string(text))
      .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Work text of a preview as UTF-8 for reading.
std::string PreviewUtf8(const FilePreview& file, std::string_view text) {
  if (file.codePage->IsUtf8()) return std::string(text);
  std::string utf8;
  file.codePage->ToUtf8(text, &utf8);
  return utf8;
}

// Where a change of a document lies, as the levels of its kind name it.
std::string PlaceMember(const TextPlace& place, OfficeKind kind) {
  const std::string story = std::string("\"story\":\"") + StoryName(place.story) + "\"";
  // A further story names itself; a workbook's or presentation's body
  // keeps the members it always had.
  if (place.story == OfficeStory::kCellComments) {
    return ",\"place\":{" + story + ",\"sheet\":" + std::to_string(place.sheet) +
           ",\"comment\":" + std::to_string(place.column) + "}";
  }
  if (place.story == OfficeStory::kSheetNames) {
    return ",\"place\":{" + story + ",\"sheet\":" + std::to_string(place.sheet) + "}";
  }
  switch (kind) {
    case OfficeKind::Word:
      return ",\"place\":{" + story + ",\"paragraph\":" + std::to_string(place.paragraph) + "}";
    case OfficeKind::Excel:
      return ",\"place\":{\"sheet\":" + std::to_string(place.sheet) +
             ",\"row\":" + std::to_string(place.row) + ",\"column\":" + std::to_string(place.column) +
             "}";
    case OfficeKind::PowerPoint:
      return ",\"place\":{" + (place.story == OfficeStory::kBody ? "" : story + ",") +
             "\"slide\":" + std::to_string(place.slide) +
             ",\"shape\":" + std::to_string(place.shape) + "}";
    case OfficeKind::None:
      break;
  }
  return "";
}

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0xF];
  }
  return hex;
}

bool FromHex(const std::string& hex, std::string* bytes) {
  if (hex.size() % 2 != 0) return false;
  bytes->clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    const std::string pair = hex.substr(i, 2);
    if (pair.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
    bytes->push_back(static_cast<char>(std::stoi(pair, nullptr, 16)));
  }
  return true;
}

// A plan's text as JSON of the plan's shape: an object with a list of
// files, each an object whose path is a string. Every file with changes
// has its whole-file checksum, which plans of older versions lack. False,
// with a reason, otherwise: then nothing of the plan may be written.
bool ReadPlanShape(const std::string& text, nlohmann::json* plan, Message* error) {
  *plan = nlohmann::json::parse(text, nullptr, false);
  if (plan->is_discarded() || !plan->is_object() || !plan->contains("files") ||
      !(*plan)["files"].is_array()) {
    *error = Message(MessageId::kNotAPlan);
    return false;
  }
  size_t number = 0;
  for (const nlohmann::json& file : (*plan)["files"]) {
    const std::string which = std::to_string(++number);
    if (!file.is_object()) {
      *error = Message(MessageId::kPlanEntryNotObject, {which});
      return false;
    }
    if (!file.contains("path") || !file["path"].is_string()) {
      *error = Message(MessageId::kPlanEntryNoPath, {which});
      return false;
    }
    if (file.contains("changes") && !file.contains("sha256")) {
      *error = Message(MessageId::kPlanTooOld, {which});
      return false;
    }
  }
  return true;
}

// Member field of a plan's object as a non-negative integer. JSON reads -1
// as a signed number and 4.5 or 2**64 as fractions, all refused.
bool PlanNumber(const nlohmann::json& object, const char* field, uint64_t* value,
                Message* error) {
  const auto it = object.find(field);
  if (it != object.end() && it->is_number_unsigned()) {
    *value = it->get<uint64_t>();
    return true;
  }
  std::string shown =
      it == object.end() ? "" : it->dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  if (shown.size() > 40) shown = shown.substr(0, 40) + "...";
  *error = it == object.end() ? Message(MessageId::kPlanFieldMissing, {field})
                              : Message(MessageId::kPlanFieldNotNumber, {field, shown});
  return false;
}

bool PlanString(const nlohmann::json& object, const char* field, std::string* value,
                Message* error) {
  const auto it = object.find(field);
  if (it != object.end() && it->is_string()) {
    *value = it->get<std::string>();
    return true;
  }
  *error = Message(it == object.end() ? MessageId::kPlanFieldMissing
                                      : MessageId::kPlanFieldNotString,
                   {field});
  return false;
}

// One change of a plan; false, with a reason naming the field, when a
// member is missing or of the wrong kind, or its new text cannot be
// written in the file's encoding.
bool PlannedChangeOf(const nlohmann::json& item, const std::string& encoding, PlannedChange* change,
                     Message* error) {
  if (!item.is_object()) {
    *error = Message(MessageId::kPlanChangeNotObject);
    return false;
  }
  // A document's change tells its "place" too; no document is written from
  // a plan, so it is not read.
  if (!PlanNumber(item, "offset", &change->offset, error) ||
      !PlanNumber(item, "length", &change->length, error) ||
      !PlanNumber(item, "line", &change->line, error) ||
      !PlanString(item, "old_sha256", &change->oldSha256, error)) {
    return false;
  }
  std::string text;
  if (item.contains("new_bytes_hex")) {
    if (!PlanString(item, "new_bytes_hex", &text, error)) return false;
    if (!FromHex(text, &change->newBytes)) {
      *error = Message(MessageId::kPlanNotHex, {"new_bytes_hex"});
      return false;
    }
    return true;
  }
  if (!PlanString(item, "new", &text, error)) return false;
  if (!EncodeForFile(text, encoding, &change->newBytes)) {
    *error = Message(MessageId::kPlanTextNotHeld, {encoding});
    return false;
  }
  return true;
}

// The file of a plan (of ReadPlan's shape) as the program writes it; false,
// with a reason, when the entry is not one this program can write.
bool PlannedChanges(const nlohmann::json& file, PlannedFile* planned, Message* error) {
  planned->path = file["path"].get<std::string>();
  const auto document = file.find("document");
  if (document != file.end() && !document->is_boolean()) {
    *error = Message(MessageId::kPlanFieldNotBoolean, {"document"});
    return false;
  }
  if (document != file.end() && document->get<bool>()) {
    *error = Message(MessageId::kPlanHasDocument);
    return false;
  }
  if (!PlanString(file, "encoding", &planned->encoding, error) ||
      !PlanString(file, "sha256", &planned->sha256, error)) {
    return false;
  }
  if (planned->sha256.size() != 64 ||
      planned->sha256.find_first_not_of("0123456789abcdef") != std::string::npos) {
    *error = Message(MessageId::kPlanNotSha256);
    return false;
  }
  if (!file["changes"].is_array()) {
    *error = Message(MessageId::kPlanChangesNotList);
    return false;
  }
  size_t number = 0;
  for (const nlohmann::json& item : file["changes"]) {
    PlannedChange change;
    number++;
    if (!PlannedChangeOf(item, planned->encoding, &change, error)) {
      *error = Message(MessageId::kPlanChange, {std::to_string(number)}).Because(*error);
      return false;
    }
    planned->changes.push_back(std::move(change));
  }
  return true;
}

}  // namespace

std::string PlanFileMembers(const FilePreview& file) {
  const auto quoted = Quoted;
  std::string json = "\"encoding\":" + quoted(FileEncodingName(file.encoding)) +
                     ",\"sha256\":" + quoted(file.fingerprint.sha256);
  if (file.IsDocument()) json += ",\"document\":true";
  json += ",\"changes\":[";
  PlaceFinder places(file.original, file.kind);
  for (size_t k = 0; k < file.changes.size(); k++) {
    const TextChange& change = file.changes[k];
    const DiskChange onDisk = OnDisk(file, k);
    const std::string newText = PreviewUtf8(file, Replacement(file.result, change));
    if (k > 0) json += ',';
    json += "{\"line\":" + std::to_string(change.line);
    if (file.IsDocument()) json += PlaceMember(places.At(change.offset), file.kind);
    if (!file.IsDocument()) {
      json += ",\"offset\":" + std::to_string(onDisk.offset) +
              ",\"length\":" + std::to_string(onDisk.length);
    }
    json += ",\"old\":" +
            quoted(PreviewUtf8(file, std::string_view(file.original).substr(change.offset,
                                                                             change.length))) +
            ",\"new\":" + quoted(newText);
    if (!file.IsDocument()) {
      json += ",\"old_sha256\":\"" + Sha256Hex(OldBytes(file, k)) + "\"";
      // Bytes that UTF-8 cannot carry (invalid ones) are given exactly.
      std::string again;
      if (!EncodeForFile(newText, FileEncodingName(file.encoding), &again) ||
          again != onDisk.newBytes) {
        json += ",\"new_bytes_hex\":\"" + Hex(onDisk.newBytes) + "\"";
      }
    }
    json += '}';
  }
  return json + "]";
}

bool ReadPlan(const std::string& text, Plan* plan, Message* error) {
  nlohmann::json json;
  if (!ReadPlanShape(text, &json, error)) return false;
  for (const nlohmann::json& file : json["files"]) {
    if (!file.contains("changes") || file["changes"].empty()) continue;
    PlannedFile planned;
    Message reason;
    if (PlannedChanges(file, &planned, &reason)) {
      plan->files.push_back(std::move(planned));
    } else {
      plan->refused.push_back({planned.path, Message(MessageId::kLeftAsItIs).Because(reason)});
    }
  }
  return true;
}

}  // namespace strbatch
