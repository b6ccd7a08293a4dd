#include "console/dialog_header.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>

#include "console/ui/dialog_units.h"
#include "console/ui/system_colors.h"

namespace pvn::console {

namespace {

// DrawText format bits.
constexpr std::uint32_t DT_CENTER = 0x1;
constexpr std::uint32_t DT_RIGHT = 0x2;

}  // namespace

QFont CellHeightFont(const QString& face, int cellHeight, int weight) {
  // Tahoma's shapes are closest to DejaVu Sans among the fonts Debian ships.
  QFont font = ui::ResolveFont({face, "DejaVu Sans"}, cellHeight);
  font.setWeight(weight >= 700 ? QFont::Bold : QFont::Normal);
  int pixels = cellHeight;
  while (pixels > 1 && QFontMetrics(font).height() > cellHeight) font.setPixelSize(--pixels);
  return font;
}

CDialogHeader::CDialogHeader(QWidget* parent)
    : QWidget(parent),
      m_nEdge(ui::GetSystemMetrics(ui::SM_CXEDGE)),
      m_crBackground(ui::GetSysColor(ui::COLOR_WINDOW)) {
  setAttribute(Qt::WA_OpaquePaintEvent);  // the paint covers the background
}

int CDialogHeader::ComputeBandHeight() const {
  const int forIcon = m_nIconHeight + m_nInset + 2 * m_nMargin;
  const int forText = m_nInset + 2 * m_nMargin + 2 + m_nSubTitleFontHeight + m_nTitleFontHeight;
  return std::max(m_nBandHeight, std::max(forIcon, forText));
}

void CDialogHeader::SetIcon(const QPixmap& icon) {
  m_hIcon = icon;
  update();
}
void CDialogHeader::SetTitle(const QString& title) {
  m_strTitle = title;
  update();
}
void CDialogHeader::SetSubTitle(const QString& subTitle) {
  m_strSubTitle = subTitle;
  update();
}
void CDialogHeader::SetAlignment(std::uint32_t alignment) {
  m_nAlignment = alignment >= 3 ? 0 : alignment;
  update();
}
void CDialogHeader::SetBackground(const QColor& color) {
  m_crBackground = color;
  update();
}

BandRect CDialogHeader::ClientRect() const {
  return BandRect{0, 0, width() - 2, height() - 2};
}

CDialogHeader::TextRects CDialogHeader::ComputeTextRects(const BandRect& r) const {
  TextRects rects;
  BandRect& t = rects.title;
  t.left = r.left + m_nTitleIndent;
  if (!m_hIcon.isNull() || m_bReserveIconColumn) t.left += m_nIconWidth + m_nMargin;
  t.top = r.top + m_nMargin;
  t.right = r.right - m_nInset - m_nMargin;
  t.bottom = t.top + m_nTitleFontHeight;
  if (m_nAlignment == 1) t.right = t.right - t.left + r.left;
  BandRect s = t;
  if (m_nAlignment == 0) s.left += m_nSubTitleIndent;
  if (m_nAlignment == 2) s.right -= m_nSubTitleIndent;
  s.top = t.bottom;
  s.bottom = r.bottom;
  rects.subTitle = s;
  return rects;
}

void CDialogHeader::DrawText(QPainter& painter, const BandRect& rect, const QString& text) const {
  // Word break with end ellipsis: wrap at the width, draw the lines that fit
  // whole and end the last of them with "..." when text is left over.
  const QRect box = rect.ToQRect();
  if (box.width() <= 0 || box.height() <= 0 || text.isEmpty()) return;
  const QFontMetrics metrics(painter.font());
  QTextLayout layout(text, painter.font());
  QTextOption option;
  option.setWrapMode(QTextOption::WordWrap);
  layout.setTextOption(option);
  struct Line {
    int start, length;
  };
  std::vector<Line> lines;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(box.width());
    lines.push_back({line.textStart(), line.textLength()});
  }
  layout.endLayout();
  const int fitting = std::max(1, std::min<int>(lines.size(), box.height() / metrics.height()));
  const std::uint32_t horizontal = m_nAlignment & 3;
  const Qt::Alignment align = horizontal == DT_CENTER  ? Qt::AlignHCenter
                              : horizontal == DT_RIGHT ? Qt::AlignRight
                                                       : Qt::AlignLeft;
  painter.save();
  painter.setClipRect(box);
  for (int i = 0; i < fitting; ++i) {
    QString piece = text.mid(lines[i].start, lines[i].length);
    if (i == fitting - 1 && i + 1 < static_cast<int>(lines.size()))
      piece = metrics.elidedText(text.mid(lines[i].start), Qt::ElideRight, box.width());
    else
      piece = piece.trimmed();
    const QRect lineBox(box.left(), box.top() + i * metrics.height(), box.width(),
                        metrics.height());
    painter.drawText(lineBox, align | Qt::AlignTop | Qt::TextSingleLine, piece);
  }
  painter.restore();
}

void CDialogHeader::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // The window border (bordered child window), outside the client area.
  painter.setPen(ui::GetSysColor(ui::COLOR_WINDOWFRAME));
  painter.drawRect(0, 0, width() - 1, height() - 1);
  painter.translate(1, 1);

  if (!m_bFontsSupplied) {
    m_fontTitle = CellHeightFont("Tahoma", m_nTitleFontHeight, 700);
    m_fontSubTitle = CellHeightFont("Tahoma", m_nSubTitleFontHeight, 400);
  }
  const BandRect r = ClientRect();
  const int w = r.right - r.left, h = r.bottom - r.top;

  // The paint never erases, so what lies beneath shows where nothing is
  // drawn (inside the bottom strip): that is the dialog's face.
  painter.fillRect(r.left, r.top, w, h, ui::GetSysColor(ui::COLOR_BTNFACE));

  // Three-dimensional frame: highlight top and left, shadow bottom and right.
  const QColor highlight = ui::GetSysColor(ui::COLOR_BTNHIGHLIGHT);
  const QColor shadow = ui::GetSysColor(ui::COLOR_BTNSHADOW);
  painter.fillRect(r.left, r.top, w - 1, 1, highlight);
  painter.fillRect(r.left, r.top, 1, h - 1, highlight);
  painter.fillRect(r.right - 1, r.top, 1, h, shadow);
  painter.fillRect(r.left, r.bottom - 1, w, 1, shadow);

  // The background leaves the bottom strip of `edge` pixels to the frame.
  painter.fillRect(r.left, r.top, w, h - m_nEdge, m_crBackground);

  if (!m_hIcon.isNull()) {
    painter.drawPixmap(QRect(m_nMargin, m_nMargin, 48, 48), m_hIcon);
  }
  const TextRects rects = ComputeTextRects(r);
  painter.setPen(ui::GetSysColor(ui::COLOR_WINDOWTEXT));
  painter.setFont(m_fontTitle);
  DrawText(painter, rects.title, m_strTitle);
  painter.setFont(m_fontSubTitle);
  DrawText(painter, rects.subTitle, m_strSubTitle);
}

}  // namespace pvn::console
