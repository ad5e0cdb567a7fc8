// The sorted keyed lists: order, lookup, duplicates, ownership.
#include "engine/records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/text.h"

namespace rn {
namespace {

std::unique_ptr<TEmailItem> Mail(const std::string& name, TDateTime added = 0) {
  auto r = std::make_unique<TEmailItem>();
  r->Name = name;
  r->AddedTime = added;
  return r;
}

std::vector<std::string> Keys(const TEmailList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i)
    out.push_back(list.Key(i));
  return out;
}

TEST(SortedList, KeepsKeysInAscendingOrderWhateverTheOrderOfAdding) {
  std::vector<std::string> names;
  for (int i = 0; i < 200; ++i)
    names.push_back("key " + std::to_string(i * 7919 % 1000));
  std::shuffle(names.begin(), names.end(), std::mt19937(42));

  TEmailList list;
  for (const std::string& n : names)
    ASSERT_TRUE(list.Add(n, Mail(n)));
  ASSERT_EQ(list.Count(), 200);
  for (int i = 1; i < list.Count(); ++i) {
    EXPECT_LT(CompareKeys(list.Key(i - 1), list.Key(i)), 0)
        << list.Key(i - 1) << " / " << list.Key(i);
  }
  for (const std::string& n : names) {
    const int index = list.Find(n);
    ASSERT_GE(index, 0) << n;
    EXPECT_EQ(list.At(index).Name, n);
  }
  EXPECT_EQ(list.Find("key 1000"), -1);
  EXPECT_EQ(TEmailList().Find("anything"), -1);
}

TEST(SortedList, OrdersWithoutRegardToCase) {
  TEmailList list;
  for (const char* n : {"banana", "Cherry", "apple", "Apricot"})
    ASSERT_TRUE(list.Add(n, Mail(n)));
  EXPECT_EQ(Keys(list), (std::vector<std::string>{"apple", "Apricot", "banana", "Cherry"}));
}

TEST(SortedList, KeyDifferingOnlyInCaseIsRejectedAndTheFirstRecordKept) {
  TEmailList list;
  ASSERT_TRUE(list.Add("Server Down", Mail("Server Down", 1)));
  EXPECT_FALSE(list.Add("SERVER DOWN", Mail("SERVER DOWN", 2)));
  EXPECT_FALSE(list.Add("server down", Mail("server down", 3)));
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Find("sErVeR dOwN"), 0);
  EXPECT_EQ(list.At(0).Name, "Server Down");
  EXPECT_EQ(list.At(0).AddedTime, 1);
}

TEST(SortedList, CaseOfNonAsciiLettersIsIgnoredToo) {
  TEmailList list;
  ASSERT_TRUE(list.Add("Ärger im Büro", Mail("Ärger im Büro")));
  EXPECT_FALSE(list.Add("ärger im büro", Mail("ärger im büro")));
  EXPECT_TRUE(list.Add("Arger im Buro", Mail("Arger im Buro")));  // accents still count
  EXPECT_EQ(list.Count(), 2);
}

TEST(SortedList, DeleteAndReplace) {
  TEmailList list;
  for (const char* n : {"a", "b", "c"})
    ASSERT_TRUE(list.Add(n, Mail(n)));
  list.Delete(1);
  EXPECT_EQ(Keys(list), (std::vector<std::string>{"a", "c"}));
  EXPECT_THROW(list.Delete(2), std::out_of_range);
  EXPECT_THROW(list.Delete(-1), std::out_of_range);

  list.Replace(1, Mail("C", 5));
  EXPECT_EQ(list.Key(1), "c");
  EXPECT_EQ(list.At(1).AddedTime, 5);
  EXPECT_EQ(list.Find("c"), 1);

  // A removed key can be added again.
  EXPECT_TRUE(list.Add("b", Mail("b")));
  EXPECT_EQ(Keys(list), (std::vector<std::string>{"a", "b", "c"}));
}

// Adding many at once keeps exactly what adding them one by one keeps: the
// same keys in the same order, and of keys equal without regard to case the
// record already listed, else the one that came first.
TEST(SortedList, AddingManyAtOnceKeepsWhatAddingOneByOneKeeps) {
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i) {
    const std::string name = "Key " + std::to_string(i * 7919 % 500);
    names.push_back(i % 3 ? name : "KEY" + name.substr(3));
  }
  for (const unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    std::shuffle(names.begin(), names.end(), std::mt19937(seed));
    TEmailList one, many;
    for (const char* listed : {"key 17", "Key 400", "zzz"}) {
      one.Add(listed, Mail(listed, -1));
      many.Add(listed, Mail(listed, -1));
    }
    std::vector<std::pair<std::string, std::unique_ptr<TEmailItem>>> pairs;
    for (size_t i = 0; i < names.size(); ++i) {
      one.Add(names[i], Mail(names[i], static_cast<double>(i)));
      pairs.emplace_back(names[i], Mail(names[i], static_cast<double>(i)));
    }
    many.AddAll(std::move(pairs));
    ASSERT_EQ(Keys(many), Keys(one));
    for (int i = 0; i < one.Count(); ++i)
      EXPECT_EQ(many.At(i).AddedTime, one.At(i).AddedTime) << one.Key(i);
  }
}

TEST(SortedList, WalkingFromTheLastEntryMayRemoveAsItGoes) {
  TEmailList list;
  for (int i = 0; i < 10; ++i)
    ASSERT_TRUE(list.Add(std::to_string(i), Mail(std::to_string(i), i)));
  for (int i = list.Count() - 1; i >= 0; --i) {
    if (static_cast<int>(list.At(i).AddedTime) % 2 == 0)
      list.Delete(i);
  }
  EXPECT_EQ(Keys(list), (std::vector<std::string>{"1", "3", "5", "7", "9"}));
}

}  // namespace
}  // namespace rn
