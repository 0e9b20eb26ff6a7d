#include "TsuiMemo.h"

#include "FramedText.h"
#include "SuiFonts.h"
#include "TsuiScrollBarStyle.h"

#include <QScrollBar>

TsuiMemo::TsuiMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    for (QScrollBar* bar : {verticalScrollBar(), horizontalScrollBar()}) {
        auto* style = new TsuiScrollBarStyle;
        style->setParent(bar);
        bar->setStyle(style);
    }
    setFrameStyle(QFrame::NoFrame);
    setFont(sui::MemoFont());
    setStyleSheet(sui::FramedTextStyle("TsuiMemo", kBackground, kTextColour));
    document()->setDocumentMargin(kInnerMargin);
}
