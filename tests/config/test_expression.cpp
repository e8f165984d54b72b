#include "tests/config/config_fixture.h"

#include "config/expression_engine.h"

#include <muParser.h>

#include <cmath>

using namespace cfgtest;

TEST(ExpressionConventions, OperatorsSeparatorsAndWords) {
    t_ref_buff store;
    EXPECT_EQ(store.evaluate("!0"), 1);
    EXPECT_EQ(store.evaluate("!2,5"), 0);
    EXPECT_EQ(store.evaluate("max(1;2)"), 2);
    EXPECT_EQ(store.evaluate("1,25 * 2"), 2.5);
    EXPECT_EQ(store.evaluate("1 and 0"), 0);
    EXPECT_EQ(store.evaluate("1 and 2"), 1);
    EXPECT_EQ(store.evaluate("1 or 0"), 1);
    EXPECT_EQ(store.evaluate("0 or 0"), 0);
    EXPECT_EQ(store.evaluate("1 xor 1"), 0);
    EXPECT_EQ(store.evaluate("1 xor 0"), 1);
    // "and", "or" and "xor" share one level and go left to right; "!" binds tighter than them.
    EXPECT_EQ(store.evaluate("1 or 0 and 0"), 0);
    EXPECT_EQ(store.evaluate("1 or 1 and 0"), 0);
    EXPECT_EQ(store.evaluate("0 and 0 or 1"), 1);
    EXPECT_EQ(store.evaluate("1 xor 1 or 1"), 1);
    EXPECT_EQ(store.evaluate("1 or 1 xor 1"), 0);
    EXPECT_EQ(store.evaluate("!0 and 0"), 0);
    // The word operators bind looser than comparison and arithmetic.
    EXPECT_EQ(store.evaluate("1 > 2 or 3 > 2"), 1);
    EXPECT_EQ(store.evaluate("0 and 0 + 1"), 0);
    // "!" binds like a sign: tighter than arithmetic and comparison.
    EXPECT_EQ(store.evaluate("!1 + 1"), 1);
    EXPECT_EQ(store.evaluate("!0 * 0"), 0);
    EXPECT_EQ(store.evaluate("!0 + !0"), 2);
    EXPECT_EQ(store.evaluate("!2 < 1"), 1);
    EXPECT_EQ(store.evaluate("!(1 + 1)"), 0);
    EXPECT_EQ(store.evaluate("!(!3)"), 1);
    EXPECT_EQ(store.evaluate("sum(1;2;3)"), 6);
}

TEST(ExpressionConventions, SignalKeysAndSelf) {
    remove_refs();
    t_ref_buff store;
    register_test_classes(store);
    load_text(
        store,
        "<struct><REFs version=\"1\"><ref tp=\"40\">"
        "<ref tp=\"1\" sk=\"P1\" v=\"0\" src=\"1\"/><ref tp=\"1\" sk=\"R1\" v=\"1\" src=\"1\"/>"
        "<ref tp=\"1\" sk=\"s1_2_7\" v=\"0\" src=\"1\"/><ref tp=\"1\" sk=\"s1_2_8\" v=\"1\" "
        "src=\"1\"/>"
        "<ref tp=\"1\" sk=\"t\" ex=\"self() * 10 + self\"/>"
        "</ref></REFs></struct>");
    EXPECT_EQ(store.evaluate("(P1 or R1) and !s1_2_7 and s1_2_8"), 1);
    // Both 0: "!" takes its own operand only, through the compiled runner as well.
    EXPECT_EQ(store.evaluate("!s1_2_7 * P1"), 0);
    EXPECT_EQ(store.evaluate("!s1_2_7 + P1 * 2"), 1);
    EXPECT_EQ(store.evaluate("R1 or P1 and s1_2_7"), 0);
    dynamic_cast<value_signal&>(store.find("K.0002")).set_value(1);
    EXPECT_EQ(store.evaluate("(P1 or R1) and !s1_2_7 and s1_2_8"), 0);

    // self is the value being computed, called or named.
    auto& t = dynamic_cast<value_signal&>(store.find("K.0004"));
    double value = 2;
    store.calc(t.expression(), t, value);
    EXPECT_EQ(value, 22);
    store.calc(t.expression(), t, value);
    EXPECT_EQ(value, 242);
    EXPECT_EQ(store.evaluate("self"), 0);
    // An empty expression changes nothing.
    store.calc("", t, value);
    EXPECT_EQ(value, 242);
}

TEST(ExpressionErrors, SyntaxErrorIsLoggedAndEvaluatesToZero) {
    std::string log = open_test_log();
    t_ref_buff store;
    EXPECT_EQ(store.evaluate("1 +* 2"), 0);
    std::string text = log_text(log);
    EXPECT_EQ(count_of(text, " | ERR | Ошибка (0) в выражении (позиция 3):\r\n• символ: *\r\n"
                             "• сообщение: Unexpected operator \"*\" found at position 3\r\n"
                             "• выражение: 1 +* 2"),
              1)
        << text;
    EXPECT_EQ(store.evaluate("nosuch + 1"), 0);
    for (const char* garbage : {"", "(((", ")", "max(", "1;", "\"text\"", "a=", "?:", "!", "1 and",
                                "self(1)", "ÿÿÿ", "1 2 3", "sin(1;2)", "0/0"})
        store.evaluate(garbage);
    EXPECT_TRUE(std::isinf(store.evaluate("1/0")));
}

TEST(ExpressionEngine, CompiledRunnerAgreesWithTheParser) {
    expression_engine engine;
    double a = 3, b = -2.5, c = 0;
    ASSERT_TRUE(engine.bind("a", &a, nullptr));
    ASSERT_TRUE(engine.bind("b", &b, nullptr));
    ASSERT_TRUE(engine.bind("c", &c, nullptr));
    EXPECT_FALSE(engine.bind("1x", &c, nullptr));
    double self = 7;
    engine.set_self(&self);

    mu::Parser reference;
    reference.SetDecSep(',');
    reference.SetArgSep(';');
    reference.DefineVar("a", &a);
    reference.DefineVar("b", &b);
    reference.DefineVar("c", &c);
    for (const char* e : {"a",
                          "2,5",
                          "a + b * c",
                          "a ^ 2 + b ^ 3 - a ^ 4",
                          "-a * 2 + 1",
                          "a * 3",
                          "a < b",
                          "a <= 3",
                          "a >= b",
                          "a == 3",
                          "a != b",
                          "a > b && c || b",
                          "a ? b : c",
                          "c ? 1 : a > 2 ? 5 : 6",
                          "min(a; b; c) + max(a; b)",
                          "sum(a; b; c; 1; 2)",
                          "avg(a; b)",
                          "sin(a) + cos(b) + sqrt(a)",
                          "abs(b) / a",
                          "(a + b) * (a - b) / 2",
                          "rint(b)",
                          "1; a + 1"}) {
        reference.SetExpr(e);
        double expected = reference.Eval();
        auto compiled = engine.compile(e);
        ASSERT_TRUE(compiled->ok) << e << ": " << compiled->error;
        double got = -12345;
        ASSERT_TRUE(engine.run(*compiled, got)) << e;
        EXPECT_DOUBLE_EQ(got, expected) << e;
    }
    // The variables read, each once; self is none of them.
    auto compiled = engine.compile("a + a * b + self() + self");
    ASSERT_EQ(compiled->variables.size(), 2u);
    EXPECT_EQ(compiled->variables[0].name, "a");
    EXPECT_EQ(compiled->variables[1].name, "b");
    double got = 0;
    ASSERT_TRUE(engine.run(*compiled, got));
    EXPECT_DOUBLE_EQ(got, 3 - 7.5 + 14);

    // Compiled once while the bindings stay; a changed binding is seen.
    EXPECT_EQ(engine.compile("a + b"), engine.compile("a + b"));
    double other = 100;
    engine.bind("b", &other, nullptr);
    ASSERT_TRUE(engine.run(*engine.compile("a + b"), got));
    EXPECT_EQ(got, 103);
    engine.unbind("b", nullptr);
    EXPECT_FALSE(engine.compile("a + b")->ok);
}

// The complaint a plain parser with `names` defined makes about `expression`, as the engine
// words it ("" when it has none).
static std::string parser_error(const std::string& expression,
                                std::initializer_list<const char*> names) {
    mu::Parser reference;
    reference.SetDecSep(',');
    reference.SetArgSep(';');
    double unused = 0;
    for (const char* name : names)
        reference.DefineVar(name, &unused);
    try {
        reference.SetExpr(expression);
        reference.Eval();
    } catch (const mu::Parser::exception_type& e) {
        return expression_engine::error_text(static_cast<int>(e.GetCode()),
                                             static_cast<int>(e.GetPos()), e.GetToken(), e.GetMsg(),
                                             expression);
    }
    return {};
}

// Signals become parser variables only once an expression names them; a name nothing is
// bound to still gets the parser's own complaint, and nothing of it stays behind.
TEST(ExpressionEngine, VariablesAreDefinedWhenFirstUsed) {
    std::string log = open_test_log();
    expression_engine engine;
    double a = 3;
    EXPECT_FALSE(engine.bind("_pi", &a, nullptr));
    EXPECT_FALSE(engine.bind("a b", &a, nullptr));
    EXPECT_FALSE(engine.bind("", &a, nullptr));

    const std::string expected = parser_error("1 + a", {});
    ASSERT_FALSE(expected.empty());
    auto missing = engine.compile("1 + a");
    EXPECT_FALSE(missing->ok);
    EXPECT_EQ(missing->error, expected);
    EXPECT_EQ(engine.names_used("a + nosuch"), (std::vector<std::string>{"a", "nosuch"}));
    EXPECT_FALSE(engine.compile("nosuch * 2")->ok);

    ASSERT_TRUE(engine.bind("a", &a, nullptr));
    double result = 0;
    auto found = engine.compile("1 + a");
    ASSERT_TRUE(found->ok);
    ASSERT_TRUE(engine.run(*found, result));
    EXPECT_EQ(result, 4);
    // Bound anew after its first use: the expression reads the new value.
    double other = 10;
    ASSERT_TRUE(engine.bind("a", &other, nullptr));
    auto again = engine.compile("1 + a");
    ASSERT_TRUE(engine.run(*again, result));
    EXPECT_EQ(result, 11);
    EXPECT_FALSE(engine.compile("nosuch * 2")->ok);
}

// Expressions of one pattern are parsed once: each still reads its own variables, in its own
// order, and whatever the pattern cannot carry is parsed on its own as before.
TEST(ExpressionEngine, ExpressionsOfOneShapeReadTheirOwnVariables) {
    std::string log = open_test_log();
    expression_engine engine;
    double a = 2, b = 0, c = 0, d = 1, s7 = 5, s8 = 3;
    for (auto [name, slot] :
         {std::pair{"a", &a}, {"b", &b}, {"c", &c}, {"d", &d}, {"s1_2_7", &s7}, {"s1_2_8", &s8}})
        ASSERT_TRUE(engine.bind(name, slot, nullptr));
    auto value = [&engine](const std::string& e) {
        auto compiled = engine.compile(e);
        double result = -12345;
        EXPECT_TRUE(compiled->ok) << e << ": " << compiled->error;
        EXPECT_TRUE(engine.run(*compiled, result)) << e;
        return result;
    };
    EXPECT_EQ(value("(a or b) and !c"), 1);
    EXPECT_EQ(value("(c or b) and !d"), 0);
    EXPECT_EQ(value("(d or c) and !b"), 1);
    EXPECT_EQ(value("a*a - d"), 3);
    EXPECT_EQ(value("d*d - a"), -1);
    EXPECT_EQ(value("1e2 * a + 2,5"), 202.5);
    EXPECT_EQ(value("1e2 * d + 2,5"), 102.5);
    mu::Parser constants;
    constants.SetDecSep(',');
    constants.SetArgSep(';');
    constants.SetExpr("_pi * 2");
    EXPECT_DOUBLE_EQ(value("_pi * a"), constants.Eval());
    EXPECT_EQ(value("max(a; d) + a"), 4);
    EXPECT_EQ(value("max(d; a) + d"), 3);
    EXPECT_EQ(value("s1_2_7 + 2 * s1_2_8"), 11);
    EXPECT_EQ(value("s1_2_8 + 2 * s1_2_7"), 13);
    auto order = engine.compile("b + a * b");
    ASSERT_EQ(order->variables.size(), 2u);
    EXPECT_EQ(order->variables[0].name, "b");
    EXPECT_EQ(order->variables[1].name, "a");

    // More variables than a pattern carries.
    std::vector<double> many(17, 1);
    std::string sum;
    for (std::size_t i = 0; i < many.size(); ++i) {
        ASSERT_TRUE(engine.bind("v" + std::to_string(i), &many[i], nullptr));
        sum += (i == 0 ? "v" : " + v") + std::to_string(i);
    }
    EXPECT_EQ(value(sum), 17);

    // A name nothing is bound to: the parser's own complaint about it.
    const std::string expected = parser_error("a + zz", {"a"});
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(engine.compile("a + zz")->error, expected);
    EXPECT_EQ(value("a + d"), 3);
}
