#include "validation/line_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "validation/str_tok.h"

namespace vorlane {
namespace {

// The one walk over a line must find what the slower ways find: the fields the tokenizer
// returns in keep_empty mode, the length, the XOR of every character after the first and the
// characters of each class.
TEST(LineScan, AgreesWithTokenizerAndPlainCounts) {
    const std::string longest = "$GPTXT," + std::string(69, 'x') + "*00";
    for (const std::string& sample : std::vector<std::string>{
             "", "$", "$,", "$,,,", "$abc", "$a,b,,c,", "$GPHDT,123.4,T*2F", "!A*B^C\\D$E!F~",
             std::string("$\x7F\x80\xFF,\x1F", 6), longest, longest + "y", longest + std::string(300, ','),
             // Commas in every block of sixteen, and in the part of the last block seen twice.
             "$GPGGA,081502.00,5354.2134,N,00857.3521,E,1,09,0.9,12.4,M,46.1,M,,*5B", "$A,B*00",
             "$" + std::string(max_sentence_length - 1, ',')}) {
        line_scan scan;
        scan_line(sample.c_str(), scan);
        ASSERT_EQ(scan.length, sample.size()) << sample;
        if (sample.size() > max_sentence_length) continue;

        std::vector<std::string> expected;
        std::string tokenized = sample;
        CStrTok tokens;
        tokens.keep_empty = true;
        for (char* t = tokens.first_token(tokenized.data(), ","); t != nullptr; t = tokens.next_token(","))
            expected.emplace_back(t);
        std::vector<std::string> found;
        std::size_t from = 0;
        for (std::size_t k = 0; k <= scan.comma_count; ++k) {
            const std::size_t to = k < scan.comma_count ? scan.commas[k] : sample.size();
            found.push_back(sample.substr(from, to - from));
            from = to + 1;
        }
        EXPECT_EQ(found, expected) << sample;

        unsigned sum = 0;
        std::size_t forbidden = 0;
        std::size_t carets = 0;
        for (std::size_t i = 1; i < sample.size(); ++i) {
            const auto c = static_cast<unsigned char>(sample[i]);
            sum ^= c;
            forbidden += character_classes[c] == forbidden_character;
            carets += character_classes[c] == caret_character;
        }
        EXPECT_EQ(scan.checksum, sum) << sample;
        EXPECT_EQ(scan.forbidden, forbidden) << sample;
        EXPECT_EQ(scan.carets, carets) << sample;
    }
}

}  // namespace
}  // namespace vorlane
