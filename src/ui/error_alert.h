#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

#include "base/observable.h"

#include <QMessageBox>
class QWidget;

namespace tavrel {

class CueStore;

// The "Tavrel" alert for storage and playback errors, storage first, shown
// window-modally over `host` while the host is visible. "확인" clears both.
class ErrorAlert : public QObject {
    Q_OBJECT

public:
    ErrorAlert(std::shared_ptr<CueStore> store, QWidget* host);
    ~ErrorAlert() override;

    // The alert on screen, or null.
    QMessageBox* box() const { return m_box; }

    // The text the alert shows now.
    static QString message(const CueStore& store);
    static bool hasError(const CueStore& store);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void evaluate();
    void dismissed();

    std::shared_ptr<CueStore> m_store;
    QWidget* m_host = nullptr;
    QPointer<QMessageBox> m_box;
    Subscription m_storeSubscription;
    Subscription m_playbackSubscription;
};

}  // namespace tavrel
