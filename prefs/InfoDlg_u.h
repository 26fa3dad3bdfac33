// The information window: the program's name and edition, a link to the project's page, and the
// information text the connected board reports about itself, read again at every activation.
#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

class QLabel;

namespace pvrj {

class BoardLink;

inline constexpr const char* kProgramName = "Pivora Type3J";
inline constexpr const char* kEditionText = "2006/06/16 版";
// The project's page, the link's text and target.
inline constexpr const char* kProjectPage = "https://pivora.example.org/";

class TInfoDlg : public QDialog {
  Q_OBJECT
 public:
  // link may be null while no board link exists; the board text is empty then.
  explicit TInfoDlg(BoardLink* link, QWidget* parent = nullptr);

  void FormCreate();
  void FormActivate();
  void URL_LabelDblClick();
  void URL_LabelMouseEnter();
  void URL_LabelMouseLeave();

  // Opens a web page; the system's browser by default.
  std::function<void(const QUrl&)> openUrl;

  QLabel* Image1;
  QLabel* Label1;
  QLabel* VersionLabel;
  QLabel* URL_Label;
  QLabel* Label2;
  QLabel* StaticText1;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void setLinkLook(bool hovered);

  BoardLink* link_;
};

}  // namespace pvrj
