#pragma once

namespace tavrel {

// Holds the process's stderr aside (on /dev/null) for its lifetime: the
// device probing of the audio back ends prints dozens of lines on machines
// without ALSA or JACK, and the user's terminal must stay clean.
class QuietStderr {
public:
    QuietStderr();
    ~QuietStderr();
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int m_saved = -1;
};

// Routes ALSA's own error messages nowhere, for good.
void silenceAlsaErrors();

}  // namespace tavrel
