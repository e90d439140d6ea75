#pragma once

#include <cstddef>
#include <string_view>

namespace tagkana {

// The fixed data of RtoK. A key string holds, for each entry in table order, a
// hyphen and the entry's small-letter key, then one closing hyphen; the paired
// kana string holds one slot per entry, the kana padded with ASCII spaces to
// the entry width. A key found at position q of its key string has its kana
// slot at position q of the paired string. Each line below is one row of the
// table (the letters before the last), keys and slots line for line.

inline constexpr std::size_t Romaji3Width = 4;
inline constexpr std::size_t Romaji2Width = 3;

inline constexpr std::u16string_view Romaji3Keys =
    u"-bya-byi-byu-bye-byo"
    u"-cha-chi-chu-che-cho"
    u"-cya-cyi-cyu-cye-cyo"
    u"-dha-dhi-dhu-dhe-dho"
    u"-dwu"
    u"-dya-dyi-dyu-dye-dyo"
    u"-fya-fyi-fyu-fye-fyo"
    u"-gwa"
    u"-gya-gyi-gyu-gye-gyo"
    u"-hya-hyi-hyu-hye-hyo"
    u"-jya-jyi-jyu-jye-jyo"
    u"-kwa"
    u"-kya-kyi-kyu-kye-kyo"
    u"-ltu"
    u"-lya-lyi-lyu-lye-lyo"
    u"-mya-myi-myu-mye-myo"
    u"-nya-nyi-nyu-nye-nyo"
    u"-pya-pyi-pyu-pye-pyo"
    u"-rya-ryi-ryu-rye-ryo"
    u"-sha-shi-shu-she-sho"
    u"-sya-syi-syu-sye-syo"
    u"-tha-thi-thu-the-tho"
    u"-tsa-tsi-tsu-tse-tso"
    u"-twu"
    u"-tya-tyi-tyu-tye-tyo"
    u"-xtu"
    u"-xya-xyi-xyu-xye-xyo"
    u"-zya-zyi-zyu-zye-zyo"
    u"-";

inline constexpr std::u16string_view Kana3Slots =
    u"びゃ  びぃ  びゅ  びぇ  びょ  "   // by
    u"ちゃ  ち   ちゅ  ちぇ  ちょ  "    // ch
    u"ちゃ  ちぃ  ちゅ  ちぇ  ちょ  "   // cy
    u"でゃ  でぃ  でゅ  でぇ  でょ  "   // dh
    u"どぅ  "                           // dw
    u"ぢゃ  ぢぃ  ぢゅ  ぢぇ  ぢょ  "   // dy
    u"ふゃ  ふぃ  ふゅ  ふぇ  ふょ  "   // fy
    u"ぐぁ  "                           // gw
    u"ぎゃ  ぎぃ  ぎゅ  ぎぇ  ぎょ  "   // gy
    u"ひゃ  ひぃ  ひゅ  ひぇ  ひょ  "   // hy
    u"じゃ  じぃ  じゅ  じぇ  じょ  "   // jy
    u"くぁ  "                           // kw
    u"きゃ  きぃ  きゅ  きぇ  きょ  "   // ky
    u"っ   "                            // lt
    u"ゃ   ぃ   ゅ   ぇ   ょ   "        // ly
    u"みゃ  みぃ  みゅ  みぇ  みょ  "   // my
    u"にゃ  にぃ  にゅ  にぇ  にょ  "   // ny
    u"ぴゃ  ぴぃ  ぴゅ  ぴぇ  ぴょ  "   // py
    u"りゃ  りぃ  りゅ  りぇ  りょ  "   // ry
    u"しゃ  し   しゅ  しぇ  しょ  "    // sh
    u"しゃ  しぃ  しゅ  しぇ  しょ  "   // sy
    u"てゃ  てぃ  てゅ  てぇ  てょ  "   // th
    u"つぁ  つぃ  つ   つぇ  つぉ  "    // ts
    u"とぅ  "                           // tw
    u"ちゃ  ちぃ  ちゅ  ちぇ  ちょ  "   // ty
    u"っ   "                            // xt
    u"ゃ   ぃ   ゅ   ぇ   ょ   "        // xy
    u"じゃ  じぃ  じゅ  じぇ  じょ  ";  // zy

inline constexpr std::u16string_view Romaji2Keys =
    u"-ba-bi-bu-be-bo"
    u"-ca-ci-cu-ce-co"
    u"-da-di-du-de-do"
    u"-fa-fi-fu-fe-fo"
    u"-ga-gi-gu-ge-go"
    u"-ha-hi-hu-he-ho"
    u"-ja-ji-ju-je-jo"
    u"-ka-ki-ku-ke-ko"
    u"-la-li-lu-le-lo"
    u"-ma-mi-mu-me-mo"
    u"-na-ni-nu-ne-no-nn"
    u"-pa-pi-pu-pe-po"
    u"-qa-qi-qu-qe-qo"
    u"-ra-ri-ru-re-ro"
    u"-sa-si-su-se-so"
    u"-ta-ti-tu-te-to"
    u"-va-vi-vu-ve-vo"
    u"-wa-wi-wu-we-wo"
    u"-xa-xi-xu-xe-xo"
    u"-ya-yi-yu-ye-yo"
    u"-za-zi-zu-ze-zo"
    u"-";

// The v-row writes U+309B, the spacing voiced sound mark, and fills its slots
// without a space.
inline constexpr std::u16string_view Kana2Slots =
    u"ば  び  ぶ  べ  ぼ  "           // b
    u"か  し  く  せ  こ  "           // c
    u"だ  ぢ  づ  で  ど  "           // d
    u"ふぁ ふぃ ふ  ふぇ ふぉ "       // f
    u"が  ぎ  ぐ  げ  ご  "           // g
    u"は  ひ  ふ  へ  ほ  "           // h
    u"じゃ じ  じゅ じぇ じょ "       // j
    u"か  き  く  け  こ  "           // k
    u"ぁ  ぃ  ぅ  ぇ  ぉ  "           // l
    u"ま  み  む  め  も  "           // m
    u"な  に  ぬ  ね  の  ん  "       // n
    u"ぱ  ぴ  ぷ  ぺ  ぽ  "           // p
    u"くぁ くぃ く  くぇ くぉ "       // q
    u"ら  り  る  れ  ろ  "           // r
    u"さ  し  す  せ  そ  "           // s
    u"た  ち  つ  て  と  "           // t
    u"う゛ぁう゛ぃう゛ う゛ぇう゛ぉ"  // v
    u"わ  うぃ う  うぇ を  "         // w
    u"ぁ  ぃ  ぅ  ぇ  ぉ  "           // x
    u"や  い  ゆ  いぇ よ  "          // y
    u"ざ  じ  ず  ぜ  ぞ  ";          // z

// Only whether a key occurs matters: every hit gives SmallTsu. The run of three
// hyphens between "mm" and "pp" lets "---" occur, so a hyphen that ends a text
// gives SmallTsu too. There is no "nn": Romaji2Keys gives "ん" for it.
inline constexpr std::u16string_view DoubledKeys =
    u"-bb-cc-dd-ff-gg-hh-jj-kk-ll-mm---pp-qq-rr-ss-tt-vv-ww-xx-yy-zz-";

inline constexpr std::u16string_view SingleKeys = u"-naiueo";
inline constexpr std::u16string_view SingleKana = u"ーんあいうえお";

inline constexpr char16_t SmallTsu = u'っ';

}  // namespace tagkana
