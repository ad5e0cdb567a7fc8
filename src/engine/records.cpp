// The sorted keyed lists of meetings, tasks and e-mails: binary search over
// keys in the user's collation order, case not counted.
#include "engine/records.h"

#include <algorithm>
#include <stdexcept>

#include "platform/text.h"

namespace rn {

template <class T>
size_t TSortedList<T>::Search(const std::string& key, bool& found) const {
  found = false;
  // Loading a state file adds its keys in ascending order: one comparison
  // with the last key settles those.
  if (!entries_.empty()) {
    const int last = CompareKeys(entries_.back().Key, key);
    if (last < 0)
      return entries_.size();
    if (last == 0) {
      found = true;
      return entries_.size() - 1;
    }
  }
  size_t low = 0;
  size_t high = entries_.size();
  while (low < high) {
    const size_t mid = low + (high - low) / 2;
    const int c = CompareKeys(entries_[mid].Key, key);
    if (c < 0) {
      low = mid + 1;
    } else if (c > 0) {
      high = mid;
    } else {
      found = true;
      return mid;
    }
  }
  return low;
}

template <class T>
int TSortedList<T>::Find(const std::string& key) const {
  bool found = false;
  const size_t index = Search(key, found);
  return found ? static_cast<int>(index) : -1;
}

template <class T>
bool TSortedList<T>::Add(const std::string& key, std::unique_ptr<T> record) {
  if (!record)
    throw std::invalid_argument("TSortedList::Add: no record for " + key);
  bool found = false;
  const size_t index = Search(key, found);
  if (found)
    return false;  // the new record is dropped with `record`
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(index),
                  Entry{key, std::move(record)});
  return true;
}

template <class T>
void TSortedList<T>::AddAll(std::vector<std::pair<std::string, std::unique_ptr<T>>> pairs) {
  for (const auto& [key, record] : pairs) {
    if (!record)
      throw std::invalid_argument("TSortedList::AddAll: no record for " + key);
  }
  std::vector<Entry> added;
  added.reserve(pairs.size());
  for (auto& [key, record] : pairs)
    added.push_back(Entry{std::move(key), std::move(record)});
  const auto less = [](const Entry& a, const Entry& b) { return CompareKeys(a.Key, b.Key) < 0; };
  // A state file comes in order and without repeats, which one comparison
  // per record confirms; into an empty list it then goes as it is.
  const bool ascending =
      std::adjacent_find(added.begin(), added.end(), [](const Entry& a, const Entry& b) {
        return CompareKeys(a.Key, b.Key) >= 0;
      }) == added.end();
  if (ascending && entries_.empty()) {
    entries_ = std::move(added);
    return;
  }
  // Stable, so of equal keys the one added first comes first and stays.
  if (!ascending)
    std::stable_sort(added.begin(), added.end(), less);

  std::vector<Entry> merged;
  merged.reserve(entries_.size() + added.size());
  size_t old = 0;
  for (Entry& entry : added) {
    while (old < entries_.size() && less(entries_[old], entry))
      merged.push_back(std::move(entries_[old++]));
    const bool present = (old < entries_.size() && !less(entry, entries_[old])) ||
                         (!merged.empty() && !less(merged.back(), entry));
    if (!present)
      merged.push_back(std::move(entry));
  }
  while (old < entries_.size())
    merged.push_back(std::move(entries_[old++]));
  entries_ = std::move(merged);
}

template <class T>
void TSortedList<T>::Replace(int index, std::unique_ptr<T> record) {
  if (!record)
    throw std::invalid_argument("TSortedList::Replace: no record");
  entries_.at(static_cast<size_t>(index)).Record = std::move(record);
}

template <class T>
void TSortedList<T>::Delete(int index) {
  if (index < 0 || static_cast<size_t>(index) >= entries_.size()) {
    throw std::out_of_range("TSortedList::Delete: index " + std::to_string(index) +
                            " out of range");
  }
  entries_.erase(entries_.begin() + index);
}

template class TSortedList<TEventItem>;
template class TSortedList<TTaskEvent>;
template class TSortedList<TEmailItem>;

}  // namespace rn
