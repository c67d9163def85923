#pragma once

#include <QString>

#include <array>

#include "ui/symbol_icon.h"

namespace tavrel {

// The sidebar's sections, in their order.
enum class TavrelSection { cuePad, loopPlayer };

constexpr std::array<TavrelSection, 2> allTavrelSections = {TavrelSection::cuePad,
                                                            TavrelSection::loopPlayer};

inline QString sectionTitle(TavrelSection section) {
    return section == TavrelSection::cuePad ? QStringLiteral("큐 패드")
                                            : QStringLiteral("반복 플레이어");
}

inline Symbol sectionSymbol(TavrelSection section) {
    return section == TavrelSection::cuePad ? Symbol::grid : Symbol::repeat;
}

}  // namespace tavrel
