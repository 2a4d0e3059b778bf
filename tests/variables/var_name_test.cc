// Lookups remembered in a VarName and numbers written on first read,
// against the same operations through plain names on a second store: every
// answer and the final listings must be the same, whatever the order of
// creations and of renames by letter case.
#include "variables/var_name.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "variables/range_vars.h"
#include "variables/str_vars.h"

namespace zarn {
namespace {

TEST(VarNameTest, StringStoreAnswersAsThroughPlainNames) {
  const std::vector<std::string> names = {"a",      "A",    "count", "COUNT",
                                          "Count",  "*pos", "*POS",  "b",
                                          "*n_oper", "long name of a variable"};
  std::vector<VarName> handles;
  for (const std::string& n : names) handles.emplace_back(n);

  std::mt19937 rng(9);
  for (int round = 0; round < 200; ++round) {
    StrVarStore held;  // through VarNames
    StrVarStore plain;
    for (int step = 0; step < 80; ++step) {
      const size_t k = rng() % names.size();
      const std::string& name = names[k];
      const VarName& handle = handles[k];
      switch (rng() % 8) {
        case 0: {
          const std::string v = "v" + std::to_string(rng() % 100);
          held.Set(handle, v);
          plain.Set(name, v);
          break;
        }
        case 1: {
          const std::string v = std::to_string(rng() % 1000);
          held.Assign(handle, v);
          plain.Assign(name, v);
          break;
        }
        case 2: {
          const int64_t n = static_cast<int64_t>(rng() % 2000) - 1000;
          held.SetNumber(handle, n);
          plain.Set(name, std::to_string(n));
          break;
        }
        case 3:
          ASSERT_EQ(held.FindStrVar(handle), plain.FindStrVar(name)) << name;
          break;
        case 4:
          ASSERT_EQ(held.ExactValueOf(handle), plain.ExactValueOf(name))
              << name;
          break;
        case 5:
          ASSERT_EQ(held.ValueOrEmpty(handle), plain.ValueOrEmpty(name))
              << name;
          break;
        case 6:
          ASSERT_EQ(held.ValueOf(handle), plain.ValueOf(name)) << name;
          break;
        default:
          // A pending number reads back as its text would.
          if (std::optional<int64_t> n = held.Number(handle)) {
            ASSERT_EQ(std::to_string(*n), plain.ValueOrEmpty(name)) << name;
          }
          break;
      }
    }
    ASSERT_EQ(held.DumpStrVars("=all=", "", ""),
              plain.DumpStrVars("=all=", "", ""));
  }
}

TEST(VarNameTest, RangeStoreAnswersAsThroughPlainNames) {
  const std::vector<std::string> names = {"hit", "HIT", "after", "*ctx1",
                                          "Hit", "before"};
  std::vector<VarName> handles;
  for (const std::string& n : names) handles.emplace_back(n);
  std::mt19937 rng(4);
  for (int round = 0; round < 200; ++round) {
    RangeVarStore held;
    RangeVarStore plain;
    for (int step = 0; step < 60; ++step) {
      const size_t k = rng() % names.size();
      const int32_t s = static_cast<int32_t>(rng() % 50);
      const int32_t l = static_cast<int32_t>(rng() % 9);
      switch (rng() % 5) {
        case 0:
          held.SetRangeVar(handles[k], s, l);
          plain.SetRangeVar(RangeVarRec{names[k], s, l});
          break;
        case 1:
          held.RemoveRangeVars("*ctx");
          plain.RemoveRangeVars("*ctx");
          break;
        case 2:
          ASSERT_EQ(held.HasExactly(handles[k]),
                    plain.FindRangeVar(names[k]) != 0);
          break;
        default: {
          const TR* r = held.KeyRange(handles[k]);
          const RangeVarRec want = plain.GetRangeVar(names[k]);
          ASSERT_EQ(r == nullptr, want.name == "?");
          if (r != nullptr) {
            ASSERT_EQ(r->name, want.name);
            ASSERT_EQ(r->startpos, want.startpos);
            ASSERT_EQ(r->length, want.length);
          }
          break;
        }
      }
    }
    ASSERT_EQ(held.DumpRangeVars("=all=", "", "", ""),
              plain.DumpRangeVars("=all=", "", "", ""));
  }
}

TEST(VarNameTest, OneNameServesEachStoreOnItsOwn) {
  // Epochs are unique among stores, so a name remembered in one store is
  // looked up again in another.
  StrVarStore first;
  StrVarStore second;
  first.Set("x", "1");
  second.Set("y", "0");
  second.Set("x", "2");
  const VarName x("x");
  EXPECT_EQ(first.ValueOrEmpty(x), "1");
  EXPECT_EQ(second.ValueOrEmpty(x), "2");
  EXPECT_EQ(first.FindStrVar(x), 1);
  EXPECT_EQ(second.FindStrVar(x), 2);
}

}  // namespace
}  // namespace zarn
