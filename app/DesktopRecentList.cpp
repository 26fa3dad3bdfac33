// Adding a chart to the desktop's recently used files, copying every other entry through.
#include "app/DesktopRecentList.h"

#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include "chart/RecentCharts.h"
#include "common/FileIo.h"
#include "common/SettingsFolder.h"
#include "common/UserInterface.h"
#include "packaging/DesktopFiles.h"

namespace pvrj {
namespace {

const QString kBookmarkNamespace =
    QStringLiteral("http://www.freedesktop.org/standards/desktop-bookmarks");
const QString kMimeNamespace =
    QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info");
const QString kMetadataOwner = QStringLiteral("http://freedesktop.org");
// Larger lists are not read: something else than the desktop's list lies there.
constexpr qint64 kMaxListBytes = 64 * 1024 * 1024;

QString stamp(const QDateTime& when) {
  return when.toUTC().toString(Qt::ISODateWithMs);
}

// declare: the prefixes the list's root does not declare already.
void writeBookmark(QXmlStreamWriter& out, const QString& href, const QString& added,
                   const QString& now, int count, bool declare) {
  out.writeStartElement(QStringLiteral("bookmark"));
  if (declare) {
    out.writeNamespace(kBookmarkNamespace, QStringLiteral("bookmark"));
    out.writeNamespace(kMimeNamespace, QStringLiteral("mime"));
  }
  out.writeAttribute(QStringLiteral("href"), href);
  out.writeAttribute(QStringLiteral("added"), added);
  out.writeAttribute(QStringLiteral("modified"), now);
  out.writeAttribute(QStringLiteral("visited"), now);
  out.writeStartElement(QStringLiteral("info"));
  out.writeStartElement(QStringLiteral("metadata"));
  out.writeAttribute(QStringLiteral("owner"), kMetadataOwner);
  out.writeEmptyElement(kMimeNamespace, QStringLiteral("mime-type"));
  out.writeAttribute(
      QStringLiteral("type"),
      QString::fromUtf8(kChartMimeType.data(), static_cast<qsizetype>(kChartMimeType.size())));
  out.writeStartElement(kBookmarkNamespace, QStringLiteral("applications"));
  out.writeEmptyElement(kBookmarkNamespace, QStringLiteral("application"));
  out.writeAttribute(QStringLiteral("name"), QString::fromUtf8(kAppTitle));
  out.writeAttribute(QStringLiteral("exec"), QString::fromUtf8(kRecentExec));
  out.writeAttribute(QStringLiteral("modified"), now);
  out.writeAttribute(QStringLiteral("count"), QString::number(count));
  out.writeEndElement();  // applications
  out.writeEndElement();  // metadata
  out.writeEndElement();  // info
  out.writeEndElement();  // bookmark
  out.writeCharacters(QStringLiteral("\n"));
}

bool declares(const QXmlStreamNamespaceDeclarations& declarations, const QString& uri,
              QLatin1String prefix) {
  for (const auto& d : declarations)
    if (d.namespaceUri() == uri && d.prefix() == prefix) return true;
  return false;
}

}  // namespace

QString desktopRecentListPath() {
  return QString::fromStdString(userDataFolder()) + QStringLiteral("/recently-used.xbel");
}

bool addToDesktopRecentList(const QString& filePath, const QString& xbelPath,
                            const QDateTime& when) {
  QFile file(xbelPath);
  if (!file.exists() || file.size() > kMaxListBytes || !file.open(QIODevice::ReadOnly))
    return false;
  const QByteArray input = file.readAll();
  file.close();
  const QString href =
      QString::fromStdString(fileUri(QFileInfo(filePath).absoluteFilePath().toStdString()));
  const QString now = stamp(when);

  QXmlStreamReader in(input);
  QByteArray output;
  QXmlStreamWriter out(&output);
  int depth = 0;
  int skipping = 0;  // depth inside our old entry, which is written afresh
  bool rootSeen = false;
  bool rootDeclares = false;
  bool written = false;
  QString added = now;
  int count = 1;
  while (!in.atEnd()) {
    in.readNext();
    if (in.hasError()) return false;
    const QXmlStreamReader::TokenType token = in.tokenType();
    if (skipping > 0) {
      if (token == QXmlStreamReader::StartElement) {
        ++skipping;
        const QXmlStreamAttributes a = in.attributes();
        if (in.name() == QLatin1String("application") &&
            a.value(QLatin1String("name")) == QString::fromUtf8(kAppTitle))
          count = a.value(QLatin1String("count")).toInt() + 1;
      } else if (token == QXmlStreamReader::EndElement) {
        --skipping;
      }
      continue;
    }
    if (token == QXmlStreamReader::StartElement) {
      if (depth == 0) {
        if (in.name() != QLatin1String("xbel")) return false;
        rootSeen = true;
        const QXmlStreamNamespaceDeclarations d = in.namespaceDeclarations();
        rootDeclares = declares(d, kBookmarkNamespace, QLatin1String("bookmark")) &&
                       declares(d, kMimeNamespace, QLatin1String("mime"));
      } else if (depth == 1 && in.name() == QLatin1String("bookmark") &&
                 in.attributes().value(QLatin1String("href")) == href) {
        const auto old = in.attributes().value(QLatin1String("added"));
        if (!old.isEmpty()) added = old.toString();
        skipping = 1;
        continue;
      }
      ++depth;
    } else if (token == QXmlStreamReader::EndElement) {
      --depth;
      if (depth == 0 && !written) {
        writeBookmark(out, href, added, now, count, !rootDeclares);
        written = true;
      }
    }
    out.writeCurrentToken(in);
  }
  if (!rootSeen || !written) return false;
  return writeFileAtomically(
             xbelPath.toStdString(),
             std::string_view(output.constData(), static_cast<std::size_t>(output.size())))
      .ok();
}

}  // namespace pvrj
