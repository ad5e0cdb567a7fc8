// Finding a window's controls by their object names in widget tests.
#pragma once

#include <gtest/gtest.h>

#include <QObject>
#include <QString>

namespace rn::test {

// The child of `root` named `name`; a test failure (and null) when missing.
template <class T>
T* Child(const QObject* root, const char* name) {
  T* child = root ? root->findChild<T*>(QString::fromLatin1(name)) : nullptr;
  if (!child)
    ADD_FAILURE() << "no control named " << name;
  return child;
}

}  // namespace rn::test
