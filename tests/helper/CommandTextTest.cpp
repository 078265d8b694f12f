#include "CommandText.h"

#include <gtest/gtest.h>

using ntfs::CommandRun;
using ntfs::CommandText;

TEST(CommandText, AcceptsOnlyWellFormedUtf8)
{
    const std::vector<std::pair<std::string, bool>> cases = {
        {"", true}, {"plain", true}, {"\xC3\xA9", true}, {"\xE2\x82\xAC", true}, {"\xF0\x9F\x98\x80", true},
        {"\xF4\x8F\xBF\xBF", true},
        {"\xC0\xAF", false},           // overlong
        {"\xE0\x80\xAF", false},       // overlong
        {"\xED\xA0\x80", false},       // surrogate
        {"\xF4\x90\x80\x80", false},   // beyond U+10FFFF
        {"\xE2\x82", false},           // cut short
        {"a\x80", false},              // stray continuation
        {"\xFF", false},
        {std::string(19, 'a') + "\xC3\xA9" + std::string(19, 'b'), true},
        {std::string(19, 'a') + "\xC3" + std::string(19, 'b'), false},
    };
    for (const auto& [bytes, valid] : cases)
        EXPECT_EQ(CommandText::isValidUtf8(bytes), valid) << testing::PrintToString(bytes);
}

TEST(CommandText, WholeCharacterPrefixDropsOnlyATrailingPartialCharacter)
{
    const std::vector<std::pair<std::string, std::size_t>> cases = {
        {"", 0}, {"ab", 2}, {"ab\xE2", 2}, {"ab\xE2\x82", 2}, {"ab\xE2\x82\xAC", 5},
        {"\xF0\x9F\x98", 0}, {"\xF0\x9F\x98\x80", 4}, {"a\x80", 2},
    };
    for (const auto& [bytes, length] : cases)
        EXPECT_EQ(CommandText::wholeCharacterPrefix(bytes), length) << testing::PrintToString(bytes);
}

TEST(CommandText, ReplacesWhatTheBusCannotCarry)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {std::string("a\0b", 3), "a\xEF\xBF\xBD" "b"},
        {"\xEF\xBF\xBE", "\xEF\xBF\xBD"},       // U+FFFE
        {"x\xEF\xB7\x90y", "x\xEF\xBF\xBDy"},   // U+FDD0
        {"\xF4\x8F\xBF\xBF", "\xEF\xBF\xBD"},   // U+10FFFF
        {"\xEF\xBF\xBD\xE2\x82\xAC", "\xEF\xBF\xBD\xE2\x82\xAC"},
        {std::string(17, 'a') + '\0' + std::string(17, 'b'), std::string(17, 'a') + "\xEF\xBF\xBD" + std::string(17, 'b')},
    };
    for (const auto& [bytes, text] : cases) {
        CommandRun run;
        run.output = bytes;
        EXPECT_EQ(CommandText::fromOutput(run, 100), text) << testing::PrintToString(bytes);
    }
}

TEST(CommandText, InvalidBytesInTheKeptPartStillGiveNoText)
{
    CommandRun run;
    run.output = "ok\xFF" "and more\xE2\x82";
    run.droppedBytes = 10;
    EXPECT_EQ(CommandText::fromOutput(run, 100), std::nullopt);
}

TEST(CommandText, LogLinesKeepOnlyTheHeadOfAHugeText)
{
    EXPECT_EQ(CommandText::forLog(std::nullopt), std::nullopt);
    EXPECT_EQ(CommandText::forLog("short"), "short");
    auto line = CommandText::forLog("\xE2\x82\xAC" + std::string(CommandText::logLimit, 'x'));
    ASSERT_TRUE(line);
    EXPECT_TRUE(CommandText::isValidUtf8(*line));
    EXPECT_LE(line->size(), CommandText::logLimit + 40);
    EXPECT_EQ(line->substr(line->size() - 25), "x... [65539 bytes in all]");
}
