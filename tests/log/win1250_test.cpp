#include "win1250.h"

#include <gtest/gtest.h>

using namespace vorkal;

TEST(Win1250Test, EncodesByteExact) {
    struct Case {
        const char* utf8;
        QByteArray expected;
    };
    for (const Case& c : {
             Case{"No.,Time 09:05:30\r\n", "No.,Time 09:05:30\r\n"},
             Case{"ąćęłńóśźż", "\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF"},
             Case{"ĄĆĘŁŃÓŚŹŻ", "\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF"},
             Case{"50.06143°N", "50.06143\xB0N"},
             Case{"€ „x” – ˇ˝ ß Ü", "\x80 \x84x\x94 \x96 \xA1\xBD \xDF \xDC"},
             // Characters the code page lacks, a surrogate pair counting as one.
             Case{"ä€ñ→😀!", "\xE4\x80?\x3F?!"},
         }) {
        EXPECT_EQ(ToWindows1250(QString::fromUtf8(c.utf8)), c.expected) << c.utf8;
    }
}
