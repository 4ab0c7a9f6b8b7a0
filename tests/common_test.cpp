#include <Common/Common.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>

namespace {

// Ids of a module no other table uses, so the tests control every text they see.
constexpr unsigned int kModule = 0x7A;
constexpr unsigned int Id(unsigned int index) {
    return (kModule << 16) + index;
}

const Common::StaticStringTable::StringEntry kFirstEntries[] = {
    {Id(0), L"first zero"}, {Id(1), L"Class %1 has no function %2 (%1)"}};
const Common::StaticStringTable::StringEntry kSecondEntries[] = {{Id(1), L"second one"},
                                                                 {Id(2), L"second two"}};

// Registered before main and withdrawn after it, whatever the order of the Common statics.
const Common::StaticStringTable::StringEntry kStaticEntries[] = {{Id(0x10000), L"static"}};
const Common::StaticStringTable g_registeredAtLoad(kModule + 1, kStaticEntries, 1);

TEST(MessageTest, FormatsFillPlaceholdersOnceAndTablesResolveIdsWhileTheyLive) {
    // Every occurrence is filled, an inserted "%2" stays text, unfilled ones stay as written.
    Common::CfxFormat format(std::wstring(L"%1 and %2|%2%1%2|%3 %9 %0 %a 100% %|%10"));
    format << L"%2" << L"b";
    EXPECT_EQ(format.ToString(), L"%2 and b|b%2b|%3 %9 %0 %a 100% %|%20");

    Common::CfxFormat streamed(std::wstring(L"%1 %2 [%3]"));
    streamed.Stream() << std::hex << 255;
    streamed.AfterInsertion();
    streamed.Append(255);  // the hexadecimal mode must not leak into this insertion
    streamed.AfterInsertion();
    EXPECT_EQ(streamed.ToString(), L"ff 255 []");

    Common::CfxFormat numbers(std::wstring(L"%1 %2 %3 %4 %5 %6 %7 %8 %9"));
    numbers << 2.5 << 1e300 << -0.0 << 123456789.0 << 0.000001 << 1e21 << 1e-7
            << -std::numeric_limits<double>::infinity() << 0.1f;
    // Floats are written at their own precision, not widened to double first.
    EXPECT_EQ(numbers.ToString(), L"2.5 1e+300 -0 123456789 0.000001 1e+21 1e-07 -inf 0.1");

    // String tables resolve ids only while they live, and the first registered wins.
    Common::StringLoader& loader = Common::StringLoader::Instance();
    EXPECT_EQ(loader.GetString(Id(0x10000)), L"static");
    {
        Common::StaticStringTable first(kModule, kFirstEntries, 2);
        {
            Common::StaticStringTable second(kModule, kSecondEntries, 2);
            EXPECT_EQ(loader.GetString(Id(1)), kFirstEntries[1].text);
            EXPECT_EQ(loader.GetString(Id(2)), L"second two");
            Common::CfxFormat fromTable(Id(1));
            fromTable << L"Circle" << L"Area";
            EXPECT_EQ(fromTable.ToString(), L"Class Circle has no function Area (Circle)");
        }
        EXPECT_FALSE(loader.HasString(Id(2)));
        EXPECT_TRUE(loader.HasString(Id(0)));
    }
    EXPECT_FALSE(loader.HasString(Id(1)));

    // Withdrawing the earlier table exposes the later one's text.
    std::optional<Common::StaticStringTable> first(std::in_place, kModule, kFirstEntries, 2);
    Common::StaticStringTable second(kModule, kSecondEntries, 2);
    first.reset();
    EXPECT_EQ(loader.GetString(Id(1)), L"second one");
    EXPECT_EQ(loader.GetString(0xED0099), L"<missing text for message 0xED0099>");
}

// Integers take a base, reals none; a rejected text leaves the output alone.
template <class Number, class... Base>
void ExpectParsed(const std::wstring& text, Number expected, Base... base) {
    Number result{};
    EXPECT_TRUE(Common::ToValue(text, result, base...) && result == expected)
        << Common::ToUtf8(text);
}

template <class Number, class... Base>
void ExpectRejected(std::initializer_list<const wchar_t*> texts, Base... base) {
    for (const wchar_t* text : texts) {
        Number result = 99;
        EXPECT_TRUE(!Common::ToValue(text, result, base...) && result == 99)
            << Common::ToUtf8(text);
    }
}

// long and unsigned long take the 32-bit range too.
template <class Signed, class Unsigned>
void CheckIntegerParsing() {
    ExpectParsed<Signed>(L"-2147483648", -2147483647 - 1, 10);
    ExpectParsed<Signed>(L"-80000000", -2147483647 - 1, 16);
    ExpectParsed<Signed>(L"zZ", 35 * 36 + 35, 36);
    ExpectRejected<Signed>({L"2147483648", L"", L" 1", L"1 ", L"1.0", L"+-1", L"\uFF11"}, 10);
    ExpectRejected<Signed>({L"0xff", L"80000000"}, 16);
    ExpectParsed<Unsigned>(L"+4294967295", 4294967295u, 10);
    ExpectRejected<Unsigned>({L"4294967296", L"-1", L"-0"}, 10);
}

TEST(CommonTextTest, ExceptionsUtf8CaseFoldingPathsAndWholeTextParsing) {
    const std::wstring message = L"Gr\u00f6\u00dfe \u20ac \U0001F600\U0010FFFF";
    const std::string utf8 =
        "Gr\xC3\xB6\xC3\x9F"
        "e \xE2\x82\xAC \xF0\x9F\x98\x80\xF4\x8F\xBF\xBF";
    const Common::Exception exception("source.cpp", 12, message, 7);
    EXPECT_EQ(exception.what(), utf8);
    EXPECT_EQ(exception.GetExceptionMessage(), message);
    EXPECT_EQ(Common::ToWString(utf8), message);

    // Each input is followed by "A"; the number is how many replacement characters come first.
    const std::pair<const char*, std::size_t> invalid[] = {
        {"\x80", 1},              // stray continuation byte
        {"\xC0\x80", 2},          // overlong form
        {"\xF4\x90\x80\x80", 4},  // past U+10FFFF
        {"\xE2\x82", 2}};         // cut short
    for (const auto& [bytes, replaced] : invalid) {
        EXPECT_EQ(Common::ToWString(std::string(bytes) + "A"),
                  std::wstring(replaced, L'\uFFFD') + L"A");
    }
    EXPECT_EQ(Common::ToUtf8(std::wstring{L'a', static_cast<wchar_t>(0xD800)}), "a\xEF\xBF\xBD");

    // Letters fold to lower case; code units order as unsigned numbers.
    EXPECT_EQ(Common::CompareNoCase(L"Shapes::Circle", L"sHAPES::cIRCLE", std::wstring::npos), 0);
    EXPECT_LT(Common::CompareNoCase(L"_", L"A", std::wstring::npos), 0);
    EXPECT_EQ(Common::CompareNoCase(L"abX", L"ABy", 2), 0);
    EXPECT_GT(Common::CompareNoCase(std::wstring(1, wchar_t(-1)), L"a", std::wstring::npos), 0);
    EXPECT_EQ(Common::Path(L"/tmp/script.log", L"logs").AsString(), L"/tmp/script.log");
    EXPECT_EQ(Common::Path(L"\u00e9.log", L"d\u00ee").AsUtf8(), "d\xC3\xAE/\xC3\xA9.log");

    // ToValue takes whole texts within range.
    CheckIntegerParsing<int, unsigned int>();
    CheckIntegerParsing<long, unsigned long>();
    ExpectParsed<double>(L".5", 0.5);
    ExpectParsed<double>(L"-inf", -std::numeric_limits<double>::infinity());
    ExpectRejected<double>({L"1e309", L"1e-400", L"", L" 1", L"1e", L"0x10", L"1,5"});
    ExpectRejected<float>({L"3.5e38"});
    double notANumber = 0;
    EXPECT_TRUE(Common::ToValue(L"nan", notANumber) && std::isnan(notANumber));
}

TEST(ExceptionTest, CopiesShareTheTextsSoCopyingAllocatesNothing) {
    // A copy made while an exception is in flight (a handler catching by value) must not fail.
    static_assert(std::is_nothrow_copy_constructible<Common::Exception>::value);
    static_assert(std::is_nothrow_copy_assignable<Common::Exception>::value);
    const Common::Exception original("file.cpp", 7, L"text \u00e9", 3);
    const Common::Exception copy(original);
    EXPECT_EQ(&copy.GetExceptionMessage(), &original.GetExceptionMessage());
    EXPECT_EQ(copy.what(), original.what());
    Common::Exception assigned("", 0, L"other", 0);
    assigned = original;
    EXPECT_STREQ(assigned.what(), "text \xc3\xa9");
    EXPECT_EQ(assigned.GetLine(), 7);
}

}  // namespace
