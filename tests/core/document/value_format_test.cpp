// SPDX-License-Identifier: GPL-3.0-or-later
// Number texts of the table layer: general and fixed display forms, typed-number parsing, messages.
#include "document/value_format.h"

#include "test_support.h"

#include <limits>

using namespace zelt::document;

class ValueFormatTest : public QObject {
    Q_OBJECT
private slots:
    void general_data();
    void general();
    void fixed_data();
    void fixed();
    void decimal_data();
    void decimal();
    void integer_data();
    void integer();
    void messages();
};

void ValueFormatTest::general_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("ten") << 10.0 << "10";
    QTest::newRow("twelve and a half") << 12.5 << "12.5";
    QTest::newRow("negative") << -12.5 << "-12.5";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("one third rounds at 15 digits") << 1.0 / 3 << "0.333333333333333";
    QTest::newRow("two thirds rounds up") << 2.0 / 3 << "0.666666666666667";
    QTest::newRow("binary noise hidden") << 0.1 + 0.2 << "0.3";
    QTest::newRow("pairs upper bound") << 4294967295.0 << "4294967295";
    QTest::newRow("15 integer digits") << 999999999999999.0 << "999999999999999";
    QTest::newRow("16 integer digits") << 1e15 << "1E15";
    QTest::newRow("large, rounded") << 123456789012345678.0 << "1.23456789012346E17";
    QTest::newRow("smallest fixed") << 0.00001 << "0.00001";
    QTest::newRow("below 0.00001") << 0.000001 << "1E-6";
    QTest::newRow("small with digits") << -1.5e-7 << "-1.5E-7";
    QTest::newRow("rounding carries into a new digit") << 9.9999999999999999 << "10";
}

void ValueFormatTest::general()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(formatGeneral(value)), text);
    QCOMPARE(QString::fromStdString(formatGeneral(value, ',')), QString(text).replace('.', ','));
}

void ValueFormatTest::fixed_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("text");
    QTest::newRow("one decimal") << 250.0 << 1 << "250.0";
    QTest::newRow("exact half rounds away from zero") << 15.625 << 2 << "15.63";
    QTest::newRow("exact half negative") << -0.125 << 2 << "-0.13";
    QTest::newRow("binary just below half") << 2.675 << 2 << "2.67";
    QTest::newRow("binary just above half") << 0.05 << 1 << "0.1";
    QTest::newRow("carry to a new integer digit") << 99.95 << 1 << "100.0";
    QTest::newRow("tiny negative shows no minus") << -0.001 << 2 << "0.00";
    QTest::newRow("zero") << 0.0 << 2 << "0.00";
    QTest::newRow("below the last place") << 0.004 << 2 << "0.00";
    QTest::newRow("rounds up from below the last place") << 0.006 << 2 << "0.01";
    QTest::newRow("huge falls back to general") << 1e20 << 2 << "1E20";
}

void ValueFormatTest::fixed()
{
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(formatFixed(value, decimals)), text);
}

void ValueFormatTest::decimal_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<char>("separator");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");
    QTest::newRow("plain") << "12.5" << '.' << true << 12.5;
    QTest::newRow("blanks around") << "  12.5 " << '.' << true << 12.5;
    QTest::newRow("sign and exponent") << "-1.5e3" << '.' << true << -1500.0;
    QTest::newRow("leading separator") << ".5" << '.' << true << 0.5;
    QTest::newRow("comma locale") << "1,5" << ',' << true << 1.5;
    QTest::newRow("point under comma locale") << "1.5" << ',' << false << 0.0;
    QTest::newRow("empty") << "" << '.' << false << 0.0;
    QTest::newRow("word") << "abc" << '.' << false << 0.0;
    QTest::newRow("dangling exponent") << "1e" << '.' << false << 0.0;
    QTest::newRow("trailing text") << "12m" << '.' << false << 0.0;
    QTest::newRow("overflow") << "1e999" << '.' << false << 0.0;
    QTest::newRow("infinity word") << "inf" << '.' << false << 0.0;
    QTest::newRow("two cells") << "1\t2" << '.' << false << 0.0;
}

void ValueFormatTest::decimal()
{
    QFETCH(QString, text);
    QFETCH(char, separator);
    QFETCH(bool, valid);
    QFETCH(double, value);
    const auto parsed = parseDecimal(text.toStdString(), separator);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(*parsed, value);
}

void ValueFormatTest::integer_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << "3" << true << 3;
    QTest::newRow("leading blank") << " 2" << true << 2;
    QTest::newRow("leading tab") << "\t2" << true << 2;
    QTest::newRow("plus sign") << "+5" << true << 5;
    QTest::newRow("dollar hex") << "$1F" << true << 31;
    QTest::newRow("0x hex") << "0x10" << true << 16;
    QTest::newRow("x hex") << "X10" << true << 16;
    QTest::newRow("lowest") << "-2147483648" << true << std::numeric_limits<int>::min();
    QTest::newRow("beyond 32 bits") << "2147483648" << false << 0;
    QTest::newRow("trailing blank") << "2 " << false << 0;
    QTest::newRow("decimal") << "2.0" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("sign only") << "-" << false << 0;
    QTest::newRow("word") << "Left" << false << 0;
}

void ValueFormatTest::integer()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    const auto parsed = parseInteger(text.toStdString());
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(*parsed, value);
}

void ValueFormatTest::messages()
{
    QCOMPARE(rangeErrorMessage(12000, "Altimeter", 0, 3000),
             std::string("12000 is not a valid value for field 'Altimeter'. The allowed range is 0 to 3000"));
    QCOMPARE(rangeErrorMessage(-0.5, "Pairs", 0, 4294967295.0),
             std::string("-0.5 is not a valid value for field 'Pairs'. The allowed range is 0 to 4294967295"));
    QCOMPARE(requiredFieldMessage("Azimuth"), std::string("Field 'Azimuth' must have a value"));
    QCOMPARE(readOnlyFieldMessage("F"), std::string("Field 'F' cannot be modified"));
}

QTEST_APPLESS_MAIN(ValueFormatTest)
#include "value_format_test.moc"
