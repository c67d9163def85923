#pragma once

#include <stdexcept>

namespace tavrel {

class PlaybackError : public std::runtime_error {
public:
    enum class Kind { noAudio, missingMedia, couldNotStart };

    explicit PlaybackError(Kind kind) : std::runtime_error(message(kind)), m_kind(kind) {}

    Kind kind() const { return m_kind; }

    static const char* message(Kind kind) {
        switch (kind) {
            case Kind::noAudio:
                return "등록된 음원이 없습니다.";
            case Kind::missingMedia:
                return "복사된 음원 파일을 찾을 수 없습니다.";
            case Kind::couldNotStart:
                return "오디오 재생을 시작하지 못했습니다.";
        }
        return "";
    }

private:
    Kind m_kind;
};

}  // namespace tavrel
