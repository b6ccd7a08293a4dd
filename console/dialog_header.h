#pragma once
// The band above the main window's tabs: the active page's icon, a bold
// caption and a plain sub-caption on the page's background colour.
#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <cstdint>

namespace pvn::console {

// One per page, in page order; copied into the band when the page changes.
struct tagCPropSheetItem {
  QPixmap hIcon;  // 48 x 48; may be null
  QString strCaption;
  QString strSubCaption;
  QColor crBackground;
  std::uint32_t nAlignment = 0;  // 0 left, 1 centred, 2 right; others are left
};

// A rectangle with exclusive right and bottom edges, as the drawing steps
// compute them.
struct BandRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  QRect ToQRect() const { return QRect(left, top, right - left, bottom - top); }
  friend bool operator==(const BandRect&, const BandRect&) = default;
};

class CDialogHeader : public QWidget {
 public:
  explicit CDialogHeader(QWidget* parent = nullptr);

  // The layout rule: the band height field, raised so that the icon and the
  // two text lines fit (60 with the initial values).
  int ComputeBandHeight() const;

  // UpdateHeader's copy: each change repaints the band.
  void SetIcon(const QPixmap& icon);
  void SetTitle(const QString& title);
  void SetSubTitle(const QString& subTitle);
  void SetAlignment(std::uint32_t alignment);  // 3 and above become 0
  void SetBackground(const QColor& color);

  const QPixmap& Icon() const { return m_hIcon; }
  const QString& Title() const { return m_strTitle; }
  const QString& SubTitle() const { return m_strSubTitle; }
  std::uint32_t Alignment() const { return m_nAlignment; }
  const QColor& Background() const { return m_crBackground; }

  // Where the two lines go within the client rectangle `r` (steps 7 and 9).
  struct TextRects {
    BandRect title;
    BandRect subTitle;
  };
  TextRects ComputeTextRects(const BandRect& r) const;

  // The client rectangle: the widget less its one-pixel border.
  BandRect ClientRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void DrawText(class QPainter& painter, const BandRect& rect, const QString& text) const;

  QPixmap m_hIcon;
  QString m_strTitle;
  QString m_strSubTitle;
  QFont m_fontTitle;
  QFont m_fontSubTitle;
  int m_nTitleFontHeight = 18;
  int m_nSubTitleFontHeight = 16;
  int m_nBandHeight = 60;
  int m_nIconWidth = 48;
  int m_nIconHeight = 48;
  int m_nEdge;
  int m_nInset = 1;
  int m_nMargin = 5;
  int m_nTitleIndent = 10;
  int m_nSubTitleIndent = 10;
  std::uint32_t m_nAlignment = 0;
  bool m_bFontsSupplied = false;
  bool m_bReserveIconColumn = true;
  QColor m_crBackground;
};

// A font of `face` (or a stand-in with similar shapes) whose character cell,
// ascent plus descent, is at most `cellHeight` pixels.
QFont CellHeightFont(const QString& face, int cellHeight, int weight);

}  // namespace pvn::console
