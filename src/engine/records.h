// The engine's records of meetings, tasks and forwarded e-mails, and the
// sorted keyed lists that own them.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/datetime.h"

namespace rn {

struct TEventItem {
  std::string Name;
  TDateTime StartTime = 0;
  TDateTime NotifyTime = 0;
  bool Notified = false;
  TDateTime LastSeen = 0;  // not stored
};

struct TTaskEvent {
  std::string Name;
  TDateTime StartDate = 0;
  TDateTime DueDate = 0;
  TDateTime RemindTime = 0;
  TDateTime PreDueTime = 0;
  TDateTime TaskNotifyTime = 0;
  bool Notified = false;
  bool PreNotified = false;
  TDateTime NotifiedAt = 0;
  bool Complete = false;
};

struct TEmailItem {
  std::string Name;
  TDateTime AddedTime = 0;
};

// A list of (key, record) pairs in ascending key order, keys compared without
// regard to case in the user's locale (CompareKeys), never duplicated. The
// list owns its records.
template <class T>
class TSortedList {
 public:
  int Count() const { return static_cast<int>(entries_.size()); }
  // The index of the key, or -1.
  int Find(const std::string& key) const;
  // Adds under the key; false (and the record dropped) when the key is present.
  bool Add(const std::string& key, std::unique_ptr<T> record);
  // Adds every pair as Add would, one after the other (a key already present,
  // or met earlier among the pairs, drops the later record), at the cost of
  // one sort rather than one insertion each: whatever their order, loading
  // many records costs n log n comparisons.
  void AddAll(std::vector<std::pair<std::string, std::unique_ptr<T>>> pairs);
  // Puts a record in place of the one at index (same key).
  void Replace(int index, std::unique_ptr<T> record);
  void Delete(int index);
  void Clear() { entries_.clear(); }
  const std::string& Key(int index) const { return entries_.at(index).Key; }
  T& At(int index) { return *entries_.at(index).Record; }
  const T& At(int index) const { return *entries_.at(index).Record; }

 private:
  struct Entry {
    std::string Key;
    std::unique_ptr<T> Record;
  };
  // Lower bound of the key; sets `found` when the entry there is equal.
  size_t Search(const std::string& key, bool& found) const;
  std::vector<Entry> entries_;
};

using TEventList = TSortedList<TEventItem>;
using TTaskList = TSortedList<TTaskEvent>;
using TEmailList = TSortedList<TEmailItem>;

extern template class TSortedList<TEventItem>;
extern template class TSortedList<TTaskEvent>;
extern template class TSortedList<TEmailItem>;

}  // namespace rn
