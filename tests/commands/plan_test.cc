#include "commands/plan.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

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
    std::string planError;  // the whole plan refused
    std::string fileError;  // the file refused, "left as it is" added
    std::string newBytes;   // otherwise: the change's new bytes
  };
  const Case cases[] = {
      {"as written", nullptr, "", "", "color"},
      {"new bytes in hexadecimal win over the text", change("new_bytes_hex", "c3A9"), "", "",
       "\xC3\xA9"},
      {"odd hexadecimal", change("new_bytes_hex", "abc"), "",
       "change 1 of the plan: \"new_bytes_hex\" is not hexadecimal bytes", ""},
      {"hexadecimal that is not", change("new_bytes_hex", "zz"), "",
       "change 1 of the plan: \"new_bytes_hex\" is not hexadecimal bytes", ""},
      {"new text the encoding cannot hold",
       [](nlohmann::json& p) {
         p["files"][0]["encoding"] = "GBK";
         p["files"][0]["changes"][0]["new"] = "\xF0\x9F\x98\x80";
       },
       "", "change 1 of the plan: its \"new\" text cannot be written in GBK", ""},
      // Read as 18446744073709551615.
      {"negative offset", change("offset", -1), "",
       "change 1 of the plan: \"offset\" is -1, not a non-negative integer", ""},
      // Wrapped to 0.
      {"offset 2**64", change("offset", nlohmann::json::parse("18446744073709551616")), "",
       "change 1 of the plan: \"offset\" is 1.8446744073709552e+19, not a non-negative integer",
       ""},
      // Taken as 4.
      {"fractional offset", change("offset", 4.5), "",
       "change 1 of the plan: \"offset\" is 4.5, not a non-negative integer", ""},
      {"length missing", [](nlohmann::json& p) { p["files"][0]["changes"][0].erase("length"); },
       "", "change 1 of the plan: \"length\" is missing", ""},
      {"old checksum a number", change("old_sha256", 7), "",
       "change 1 of the plan: \"old_sha256\" is not a string", ""},
      {"a change that is no object", [](nlohmann::json& p) { p["files"][0]["changes"][0] = 3; },
       "", "change 1 of the plan: is not an object", ""},
      {"changes no list", [](nlohmann::json& p) { p["files"][0]["changes"] = {{"a", 1}}; }, "",
       "\"changes\" is not a list", ""},
      {"checksum not hexadecimal", [](nlohmann::json& p) { p["files"][0]["sha256"] = "x"; }, "",
       "\"sha256\" is not a SHA-256 in hexadecimal", ""},
      {"encoding missing", [](nlohmann::json& p) { p["files"][0].erase("encoding"); }, "",
       "\"encoding\" is missing", ""},
      {"document", [](nlohmann::json& p) { p["files"][0]["document"] = true; }, "",
       "an office document is written whole from its preview in the window, not from a plan", ""},
      {"document neither true nor false",
       [](nlohmann::json& p) { p["files"][0]["document"] = "yes"; }, "",
       "\"document\" is neither true nor false", ""},
      {"plan of an older version", [](nlohmann::json& p) { p["files"][0].erase("sha256"); },
       "made by an older version (file 1 of the plan lacks the \"sha256\" of the whole file); "
       "make it again with replace -n --json",
       "", ""},
      // Aborted with an uncaught exception.
      {"path a number", [](nlohmann::json& p) { p["files"][0]["path"] = 5; },
       "not a plan: file 1 of the plan has no \"path\" string", "", ""},
      {"a file that is no object", [](nlohmann::json& p) { p["files"].push_back("b.txt"); },
       "not a plan: file 2 of the plan is not an object", "", ""},
      {"files no list", [](nlohmann::json& p) { p["files"] = {{"path", "a.txt"}}; },
       "not a plan (the JSON of replace --dry-run --json)", "", ""},
      {"a list", [](nlohmann::json& p) { p = {1, 2}; },
       "not a plan (the JSON of replace --dry-run --json)", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    nlohmann::json json = OneChangePlan();
    if (c.edit) c.edit(json);
    Plan plan;
    std::string error;
    const bool read = ReadPlan(json.dump(), &plan, &error);
    if (!c.planError.empty()) {
      EXPECT_FALSE(read);
      EXPECT_EQ(error, c.planError);
      continue;
    }
    ASSERT_TRUE(read) << error;
    if (!c.fileError.empty()) {
      EXPECT_TRUE(plan.files.empty());
      ASSERT_EQ(plan.refused.size(), 1u);
      EXPECT_EQ(plan.refused[0].path, "a.txt");
      EXPECT_EQ(plan.refused[0].reason, c.fileError + "; left as it is");
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
  std::string error;
  ASSERT_TRUE(ReadPlan(json.dump(), &plan, &error)) << error;
  ASSERT_EQ(plan.files.size(), 1u);
  EXPECT_EQ(plan.files[0].path, "b.txt");
  ASSERT_EQ(plan.refused.size(), 1u);
  EXPECT_EQ(plan.refused[0].path, "a.txt");
}

}  // namespace
}  // namespace strbatch
