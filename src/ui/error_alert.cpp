#include "ui/error_alert.h"

#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

#include "store/cue_store.h"

namespace tavrel {

ErrorAlert::ErrorAlert(std::shared_ptr<CueStore> store, QWidget* host)
    : QObject(host), m_store(std::move(store)), m_host(host) {
    m_host->installEventFilter(this);
    m_storeSubscription = m_store->subscribe([this] { evaluate(); });
    m_playbackSubscription = m_store->playback().subscribe([this] { evaluate(); });
}

ErrorAlert::~ErrorAlert() = default;

bool ErrorAlert::hasError(const CueStore& store) {
    return store.persistenceError() || store.playback().errorMessage();
}

QString ErrorAlert::message(const CueStore& store) {
    if (const auto& storage = store.persistenceError())
        return QString::fromStdString(*storage);
    if (const auto& playback = store.playback().errorMessage())
        return QString::fromStdString(*playback);
    return QStringLiteral("알 수 없는 오류");
}

bool ErrorAlert::eventFilter(QObject* watched, QEvent* event) {
    // An error that arrived while another section was shown appears on return.
    if (watched == m_host && event->type() == QEvent::Show)
        evaluate();
    return false;
}

void ErrorAlert::evaluate() {
    if (m_box) {
        if (hasError(*m_store))
            m_box->setText(message(*m_store));
        return;
    }
    if (!hasError(*m_store) || !m_host->isVisible())
        return;
    auto* box = new QMessageBox(m_host->window());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(QStringLiteral("Tavrel"));
    box->setText(message(*m_store));
    box->setInformativeText(QString());
    QPushButton* ok = box->addButton(QStringLiteral("확인"), QMessageBox::AcceptRole);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    connect(box, &QMessageBox::finished, this, [this] { dismissed(); });
    m_box = box;
    box->open();
}

void ErrorAlert::dismissed() {
    // Both are cleared before the box is let go, so that clearing the first
    // does not raise a new alert for the second.
    m_store->setPersistenceError(std::nullopt);
    m_store->playback().clearError();
    m_box = nullptr;
}

}  // namespace tavrel
