#pragma once

#include "base/observable.h"

namespace tavrel {

// Whether sound reaches an output, published by the audio engine on the main
// thread and shown by the window. Starts as available.
class OutputStatus : public Observable {
public:
    // False: no sound server or output, or a stream that stopped; the engine
    // is reconnecting on its own.
    bool available() const { return m_available; }
    // The chosen output is gone and sound goes to the default one.
    bool chosenOutputMissing() const { return m_chosenOutputMissing; }

    // Notifies only on a change.
    void update(bool available, bool chosenOutputMissing) {
        if (available == m_available && chosenOutputMissing == m_chosenOutputMissing)
            return;
        m_available = available;
        m_chosenOutputMissing = chosenOutputMissing;
        notifyObservers();
    }

private:
    bool m_available = true;
    bool m_chosenOutputMissing = false;
};

}  // namespace tavrel
