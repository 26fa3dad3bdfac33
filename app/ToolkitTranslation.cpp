// The toolkit's own texts in Japanese, from the translations the toolkit ships.
#include "app/ToolkitTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace pvrj {

QTranslator* installToolkitTranslation(QCoreApplication& app) {
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QStringLiteral("qtbase_ja"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    return nullptr;
  if (!QCoreApplication::installTranslator(translator.get())) return nullptr;
  translator->setParent(&app);
  return translator.release();
}

}  // namespace pvrj
