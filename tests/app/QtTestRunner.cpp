// Runs every registered Qt Test class in one QApplication; a class name on the command line runs
// only that class.
#include "QtTestRunner.h"

#include <QApplication>
#include <QTest>
#include <cstring>
#include <map>
#include <string>

namespace pvrj::test {
namespace {
std::map<std::string, TestFactory>& registry() {
  static std::map<std::string, TestFactory> tests;
  return tests;
}
}  // namespace

bool registerQtTest(const char* name, TestFactory factory) {
  registry().emplace(name, std::move(factory));
  return true;
}

}  // namespace pvrj::test

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                  : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  const char* only = argc > 1 ? argv[1] : nullptr;
  int failed = 0;
  for (auto& [name, factory] : pvrj::test::registry()) {
    if (only && std::strcmp(only, name.c_str()) != 0) continue;
    auto test = factory();
    failed += QTest::qExec(test.get(), 1, argv) != 0 ? 1 : 0;
  }
  return failed == 0 ? 0 : 1;
}
