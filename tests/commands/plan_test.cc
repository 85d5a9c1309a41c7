#include "commands/plan.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "test_support.h"

namespace strbatch {
namespace {

// A plan of one file with one change, as a dry run writes it.
nlohmann::json OneChangePlan() {
  return nlohmann::json::parse(R"({"files":[{"path":"a.txt","count":1,"encoding":"UTF-8",
      "sha256":"0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef",
      "changes":[{"line":1,"offset":4,"length":6,"old":"colour","new":"color",
                  "old_sha256":"00"}]}]})");
}

// Each row edits the plan above and says what reading it gives: the whole
// plan refused (with the reason), the file refused (with the reason), or
// the file's change with its new bytes.
TEST(PlanTest, ReadPlanRefusesWhatItCannotWriteExactly) {
  using Edit = std::function<void(nlohmann::json&)>;
  auto change = [](const char* field, nlohmann::json value) -> Edit {
    return [field, value](nlohmann::json& p) { p["files"][0]["changes"][0][field] = value; };
  };
  struct Case {
    const char* name;
    Edit edit;
    Message planError;  // the whole plan refused
    Message fileError;  // the file refused: why it is left as it is
    std::string newBytes;   // otherwise: the change's new bytes
  };
  const auto inChange = [](Message why) {
    return Message(MessageId::kPlanChange, {"1"}).Because(std::move(why));
  };
  const Case cases[] = {
      {"as written", nullptr, {}, {}, "color"},
      {"new bytes in hexadecimal win over the text", change("new_bytes_hex", "c3A9"), {}, {},
       "\xC3\xA9"},
      {"odd hexadecimal", change("new_bytes_hex", "abc"), {},
       inChange(Message(MessageId::kPlanNotHex, {"new_bytes_hex"})), ""},
      {"hexadecimal that is not", change("new_bytes_hex", "zz"), {},
       inChange(Message(MessageId::kPlanNotHex, {"new_bytes_hex"})), ""},
      {"new text the encoding cannot hold",
       [](nlohmann::json& p) {
         p["files"][0]["encoding"] = "GBK";
         p["files"][0]["changes"][0]["new"] = "\xF0\x9F\x98\x80";
       },
       {}, inChange(Message(MessageId::kPlanTextNotHeld, {"GBK"})), ""},
      // Read as 18446744073709551615.
      {"negative offset", change("offset", -1), {},
       inChange(Message(MessageId::kPlanFieldNotNumber, {"offset", "-1"})), ""},
      // Wrapped to 0.
      {"offset 2**64", change("offset", nlohmann::json::parse("18446744073709551616")), {},
       inChange(Message(MessageId::kPlanFieldNotNumber, {"offset", "1.8446744073709552e+19"})),
       ""},
      // Taken as 4.
      {"fractional offset", change("offset", 4.5), {},
       inChange(Message(MessageId::kPlanFieldNotNumber, {"offset", "4.5"})), ""},
      {"length missing", [](nlohmann::json& p) { p["files"][0]["changes"][0].erase("length"); },
       {}, inChange(Message(MessageId::kPlanFieldMissing, {"length"})), ""},
      {"old checksum a number", change("old_sha256", 7), {},
       inChange(Message(MessageId::kPlanFieldNotString, {"old_sha256"})), ""},
      {"a change that is no object", [](nlohmann::json& p) { p["files"][0]["changes"][0] = 3; },
       {}, inChange(Message(MessageId::kPlanChangeNotObject)), ""},
      {"changes no list", [](nlohmann::json& p) { p["files"][0]["changes"] = {{"a", 1}}; }, {},
       Message(MessageId::kPlanChangesNotList), ""},
      {"checksum not hexadecimal", [](nlohmann::json& p) { p["files"][0]["sha256"] = "x"; }, {},
       Message(MessageId::kPlanNotSha256), ""},
      {"encoding missing", [](nlohmann::json& p) { p["files"][0].erase("encoding"); }, {},
       Message(MessageId::kPlanFieldMissing, {"encoding"}), ""},
      {"document", [](nlohmann::json& p) { p["files"][0]["document"] = true; }, {},
       Message(MessageId::kPlanHasDocument), ""},
      {"document neither true nor false",
       [](nlohmann::json& p) { p["files"][0]["document"] = "yes"; }, {},
       Message(MessageId::kPlanFieldNotBoolean, {"document"}), ""},
      {"plan of an older version", [](nlohmann::json& p) { p["files"][0].erase("sha256"); },
       Message(MessageId::kPlanTooOld, {"1"}), {}, ""},
      // Aborted with an uncaught exception.
      {"path a number", [](nlohmann::json& p) { p["files"][0]["path"] = 5; },
       Message(MessageId::kPlanEntryNoPath, {"1"}), {}, ""},
      {"a file that is no object", [](nlohmann::json& p) { p["files"].push_back("b.txt"); },
       Message(MessageId::kPlanEntryNotObject, {"2"}), {}, ""},
      {"files no list", [](nlohmann::json& p) { p["files"] = {{"path", "a.txt"}}; },
       Message(MessageId::kNotAPlan), {}, ""},
      {"a list", [](nlohmann::json& p) { p = {1, 2}; }, Message(MessageId::kNotAPlan), {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    nlohmann::json json = OneChangePlan();
    if (c.edit) c.edit(json);
    Plan plan;
    Message error;
    const bool read = ReadPlan(json.dump(), &plan, &error);
    if (!c.planError.Empty()) {
      EXPECT_FALSE(read);
      EXPECT_EQ(error, c.planError);
      continue;
    }
    ASSERT_TRUE(read) << error;
    if (!c.fileError.Empty()) {
      EXPECT_TRUE(plan.files.empty());
      ASSERT_EQ(plan.refused.size(), 1u);
      EXPECT_EQ(plan.refused[0].path, "a.txt");
      EXPECT_EQ(plan.refused[0].reason, Message(MessageId::kLeftAsItIs).Because(c.fileError));
      continue;
    }
    EXPECT_TRUE(plan.refused.empty());
    ASSERT_EQ(plan.files.size(), 1u);
    ASSERT_EQ(plan.files[0].changes.size(), 1u);
    const PlannedChange& read0 = plan.files[0].changes[0];
    EXPECT_EQ(read0.offset, 4u);
    EXPECT_EQ(read0.length, 6u);
    EXPECT_EQ(read0.newBytes, c.newBytes);
  }
}

// A file without changes is neither work nor refused; one broken entry
// leaves the others to be written.
TEST(PlanTest, EntriesAreJudgedOneByOne) {
  nlohmann::json json = OneChangePlan();
  json["files"].push_back({{"path", "none.txt"}, {"count", 0}});
  json["files"].push_back(json["files"][0]);
  json["files"][2]["path"] = "b.txt";
  json["files"][0]["changes"][0]["line"] = "one";
  Plan plan;
  Message error;
  ASSERT_TRUE(ReadPlan(json.dump(), &plan, &error)) << error;
  ASSERT_EQ(plan.files.size(), 1u);
  EXPECT_EQ(plan.files[0].path, "b.txt");
  ASSERT_EQ(plan.refused.size(), 1u);
  EXPECT_EQ(plan.refused[0].path, "a.txt");
}

}  // namespace
}  // namespace strbatch
