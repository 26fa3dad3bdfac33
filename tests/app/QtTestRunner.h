// Lets each window test file register its Qt Test class with the one test_app runner.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

namespace pvrj::test {

using TestFactory = std::function<std::unique_ptr<QObject>()>;

// Returns true so it can initialise a static in the test file.
bool registerQtTest(const char* name, TestFactory factory);

}  // namespace pvrj::test

#define PVRJ_REGISTER_QTEST(Class)                                    \
  static const bool Class##Registered = ::pvrj::test::registerQtTest( \
      #Class, [] { return std::unique_ptr<QObject>(std::make_unique<Class>()); })
