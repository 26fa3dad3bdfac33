// The toolkit's own texts (standard buttons, file and colour dialogs) in Japanese.
#pragma once

class QCoreApplication;
class QTranslator;

namespace pvrj {

// Installs the toolkit's Japanese translation ("qtbase_ja") into the application, whatever the
// user's locale, so the standard dialogs speak the program's language. Returns the translator,
// owned by app, or nullptr when the translation is not installed here (the toolkit then stays in
// English).
QTranslator* installToolkitTranslation(QCoreApplication& app);

}  // namespace pvrj
