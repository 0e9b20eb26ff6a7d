#include "TsuiMemo.h"

#include "FramedText.h"
#include "SuiFonts.h"

TsuiMemo::TsuiMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFrameStyle(QFrame::NoFrame);
    setFont(sui::MemoFont());
    setStyleSheet(sui::FramedTextStyle("TsuiMemo", kBackground, kTextColour));
    document()->setDocumentMargin(kInnerMargin);
}
