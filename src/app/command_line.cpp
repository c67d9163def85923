#include "app/command_line.h"

#include <string_view>

namespace tavrel {

namespace {

constexpr std::string_view helpText =
    "사용법: tavrel [옵션]\n"
    "\n"
    "공연용 사운드보드입니다. 옵션 없이 실행하면 창을 엽니다.\n"
    "\n"
    "옵션:\n"
    "  --check              공연 전 점검: 라이브러리를 읽기만 하고 큐와 루프 트랙의\n"
    "                       상태를 출력합니다. 모두 재생 가능하면 0, 미디어 파일이\n"
    "                       없거나 재생할 수 없으면 1, 설정 파일을 읽지 못하면 2로\n"
    "                       끝납니다. 사용할 오디오 출력도 알려 줍니다.\n"
    "  --outputs            사운드 서버의 출력 장치를 한 줄에 하나씩 (이름, 설명)\n"
    "                       출력합니다. 서버가 응답하지 않으면 1로 끝납니다.\n"
    "  --screenshot PATH    창을 화면 밖에서 그려 PATH에 PNG로 저장하고 끝냅니다.\n"
    "  --version            버전을 출력합니다.\n"
    "  --help               이 도움말을 출력합니다.\n"
    "\n"
    "라이브러리 위치:\n"
    "  $XDG_DATA_HOME/Tavrel (XDG_DATA_HOME이 없으면 ~/.local/share/Tavrel)\n"
    "  이 폴더에 cues.json, Media, SavedSets가 있습니다.\n"
    "  환경 변수 TAVREL_LIBRARY_DIR을 설정하면 그 폴더를 대신 사용합니다.\n"
    "  예: TAVREL_LIBRARY_DIR=/media/usb/Tavrel tavrel\n";

}  // namespace

std::optional<int> handleInformationOptions(int argc, char** argv, std::ostream& out,
                                            std::ostream& err) {
    // The first information option wins, so "--help --version" prints help only.
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--version") {
            out << "Tavrel " << TAVREL_VERSION << "\n";
            return 0;
        }
        if (argument == "--help" || argument == "-h") {
            out << helpText;
            return 0;
        }
        // The value of --screenshot is a path, never an option.
        if (argument == "--screenshot")
            ++i;
    }
    // Anything else is a mistake: guessing at it could open the show's window
    // or write into a folder nobody asked for.
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--screenshot") {
            ++i;
            continue;
        }
        if (argument != "--check" && argument != "--outputs") {
            err << "tavrel: 알 수 없는 옵션입니다: " << argument << "\n\n" << helpText;
            return 2;
        }
    }
    return std::nullopt;
}

}  // namespace tavrel
