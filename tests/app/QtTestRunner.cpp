// Runs the registered Qt Test classes in one QApplication: `test_app CLASS [Qt Test options]` runs
// one class, `test_app` runs them all, `test_app --list-classes` prints their names.
#include "QtTestRunner.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

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
  const auto& tests = pvrj::test::registry();
  if (argc > 1 && std::strcmp(argv[1], "--list-classes") == 0) {
    for (const auto& entry : tests) std::printf("%s\n", entry.first.c_str());
    return 0;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // The windows keep their autosave and recent files in the state folder and add to the
  // desktop's recent list: a folder of the run's own, never the user's.
  QTemporaryDir stateHome;
  qputenv("XDG_STATE_HOME", (stateHome.path() + QStringLiteral("/state")).toUtf8());
  qputenv("XDG_DATA_HOME", (stateHome.path() + QStringLiteral("/data")).toUtf8());
  // The first argument names the class; the rest go to Qt Test (test functions, -v2, ...).
  const char* only = argc > 1 && argv[1][0] != '-' ? argv[1] : nullptr;
  std::vector<char*> qtArgs{argv[0]};
  for (int i = only ? 2 : 1; i < argc; ++i) qtArgs.push_back(argv[i]);
  if (only && tests.find(only) == tests.end()) {
    std::fprintf(stderr, "no test class named %s\n", only);
    return 1;
  }
  int failed = 0;
  for (const auto& [name, factory] : tests) {
    if (only && name != only) continue;
    auto test = factory();
    failed += QTest::qExec(test.get(), static_cast<int>(qtArgs.size()), qtArgs.data()) != 0;
  }
  return failed == 0 ? 0 : 1;
}
