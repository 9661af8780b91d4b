#include "app/FormView.h"

QEvent::Type FrameMessageEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

CFormView::CFormView(CNfcProgDoc* doc, QWidget* parent) : QWidget(parent), m_document(doc) {}

void CFormView::Activate(bool activate) {
    m_active = activate;
    OnActivateView(activate);
}

void CFormView::customEvent(QEvent* event) {
    if (event->type() != FrameMessageEvent::EventType()) {
        QWidget::customEvent(event);
        return;
    }
    if (!m_active) return;
    switch (static_cast<FrameMessageEvent*>(event)->message()) {
    case FrameMessage::CyclicReadStarted:
        OnCyclicReadStarted();
        break;
    case FrameMessage::CyclicReadStopped:
        OnCyclicReadStopped();
        break;
    case FrameMessage::CyclicJobEnded:
        OnCyclicJobEnded();
        break;
    case FrameMessage::NextRecord:
        OnCyclicNextRecord();
        break;
    }
}
