// Placeholder until this file is written.
#include "engine/records.h"
#include "platform/text.h"
namespace rn {
template <class T> int TSortedList<T>::Find(const std::string&) const { return -1; }
template <class T> bool TSortedList<T>::Add(const std::string&, std::unique_ptr<T>) { return false; }
template <class T> void TSortedList<T>::Replace(int, std::unique_ptr<T>) {}
template <class T> void TSortedList<T>::Delete(int) {}
template class TSortedList<TEventItem>;
template class TSortedList<TTaskEvent>;
template class TSortedList<TEmailItem>;
}
