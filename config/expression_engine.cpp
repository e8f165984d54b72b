#include "config/expression_engine.h"

#include "base/nx_log.h"

#include <muParser.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <unordered_set>

namespace nxkit {

namespace {

double op_not(double v) {
    return v == 0 ? 1 : 0;
}

double op_and(double a, double b) {
    return a != 0 && b != 0 ? 1 : 0;
}

double op_or(double a, double b) {
    return a != 0 || b != 0 ? 1 : 0;
}

double op_xor(double a, double b) {
    return (a != 0) != (b != 0) ? 1 : 0;
}

// More compiled expressions than this are forgotten at the next change of the bindings.
constexpr std::size_t cache_limit = 200000;

// Expressions naming more variables than this are parsed on their own.
constexpr std::size_t max_shape_variables = 16;
constexpr std::string_view placeholder_prefix = "_ilk_shape_";

std::string placeholder_name(std::size_t n) {
    return std::string(placeholder_prefix) + std::to_string(n);
}

bool is_variable_token(mu::ECmdCode cmd) {
    return cmd == mu::cmVAR || cmd == mu::cmVARPOW2 || cmd == mu::cmVARPOW3 ||
           cmd == mu::cmVARPOW4 || cmd == mu::cmVARMUL;
}

} // namespace

// The parser's byte code, run here directly: the parser itself keeps only the last expression.
struct compiled_expression::program {
    std::vector<mu::SToken> tokens;
    std::size_t stack = 0;
    // Code this runner does not know (string functions): evaluated by the parser each time.
    bool through_parser = false;
    std::string text;
};

compiled_expression::compiled_expression() = default;
compiled_expression::~compiled_expression() = default;

struct expression_engine::impl {
    mu::Parser parser;
    double self_slot = 0;
    // What the parser reads for a name no signal is bound to while a parse is on; such
    // names are noted and the parse is done again without them, for the parser's own error.
    double unknown_slot = 0;
    std::vector<std::string> unknown;
    // Byte code by shape: the expression with its variables numbered in order of first use
    // ("(a or b) and !c" and "(x or y) and !z" are one shape), so the many expressions of one
    // pattern are parsed once and each gets a copy with its own variables put in.
    struct shape_code {
        bool ok = false;
        std::vector<mu::SToken> tokens;
        std::size_t stack = 0;
    };
    std::unordered_map<std::string, shape_code> shapes;
    std::array<double, max_shape_variables> placeholder_slots{};
    std::unordered_map<std::string, expression_variable> variables;
    std::unordered_map<const double*, const expression_variable*> by_slot;
    unsigned generation = 1;
    std::unordered_map<std::string, compiled_ptr> cache;
    std::vector<double> stack;
};

namespace {

double self_function(void* data) {
    auto* engine = static_cast<expression_engine*>(data);
    return engine->self() != nullptr ? *engine->self() : 0.0;
}

} // namespace

// The parser asks for a variable the first time an expression names it: signals become
// parser variables only when used, not one definition per signal at every rebuild.
double* expression_engine::variable_factory(const char* name, void* data) {
    auto* engine = static_cast<impl*>(data);
    auto it = engine->variables.find(name);
    if (it != engine->variables.end())
        return it->second.slot;
    engine->unknown.emplace_back(name);
    return &engine->unknown_slot;
}

void expression_engine::forget_unknown() {
    for (const std::string& name : impl_->unknown)
        impl_->parser.RemoveVar(name);
    impl_->unknown.clear();
}

// Compiles the expression as the parser's current one; with an unbound name, throws the
// error the parser gives for it.
void expression_engine::parse(const std::string& expression) {
    mu::Parser& p = impl_->parser;
    p.SetExpr(expression);
    p.Eval();
    if (impl_->unknown.empty())
        return;
    forget_unknown();
    p.SetVarFactory(nullptr, nullptr);
    struct restore {
        mu::Parser& parser;
        impl* data;
        ~restore() { parser.SetVarFactory(&expression_engine::variable_factory, data); }
    } guard{p, impl_.get()};
    p.SetExpr(expression);
    p.Eval();
}

expression_engine::expression_engine() : impl_(std::make_unique<impl>()) {
    mu::Parser& p = impl_->parser;
    p.SetDecSep(',');
    p.SetArgSep(';');
    p.SetThousandsSep(0);
    // "!" binds like a sign, tighter than arithmetic and comparison; the word operators share
    // the lowest level and go left to right, as the operators expect from their other tools.
    // muParser numbers its levels its own way: only its named levels are used here.
    p.DefineInfixOprt("!", op_not, mu::prINFIX);
    p.DefineOprt("and", op_and, mu::prLOR, mu::oaLEFT, true);
    p.DefineOprt("or", op_or, mu::prLOR, mu::oaLEFT, true);
    p.DefineOprt("xor", op_xor, mu::prLOR, mu::oaLEFT, true);
    // Never folded into a constant: its value changes with every evaluation.
    p.DefineFunUserData("self", self_function, this, false);
    p.DefineVar("self", &impl_->self_slot);
    p.SetVarFactory(&expression_engine::variable_factory, impl_.get());
}

expression_engine::~expression_engine() = default;

void expression_engine::clear_variables() {
    impl_->parser.ClearVar();
    impl_->parser.DefineVar("self", &impl_->self_slot);
    impl_->by_slot.clear();
    impl_->variables.clear();
    ++impl_->generation;
    if (impl_->cache.size() > cache_limit)
        impl_->cache.clear();
    if (impl_->shapes.size() > cache_limit)
        impl_->shapes.clear();
}

bool expression_engine::bind(const std::string& name, double* slot, t_ref* owner) {
    if (slot == nullptr || name == "self")
        return false;
    mu::Parser& p = impl_->parser;
    // The parser's own rules for a variable name, checked now though the name is defined to
    // the parser only once an expression uses it.
    if (name.empty() || name.find_first_not_of(p.ValidNameChars()) != std::string::npos ||
        (name[0] >= '0' && name[0] <= '9') || p.GetConst().count(name) != 0)
        return false;
    if (p.GetVar().count(name) != 0) {
        try {
            p.DefineVar(name, slot);
        } catch (const mu::Parser::exception_type&) {
            return false;
        }
    }
    auto old = impl_->variables.find(name);
    if (old != impl_->variables.end())
        impl_->by_slot.erase(old->second.slot);
    auto& v = impl_->variables[name];
    v = {name, slot, owner};
    impl_->by_slot[slot] = &v;
    ++impl_->generation;
    return true;
}

void expression_engine::unbind(const std::string& name, const t_ref* owner) {
    auto it = impl_->variables.find(name);
    if (it == impl_->variables.end() || it->second.owner != owner)
        return;
    impl_->parser.RemoveVar(name);
    impl_->by_slot.erase(it->second.slot);
    impl_->variables.erase(it);
    ++impl_->generation;
}

bool expression_engine::is_bound(const std::string& name) const {
    return impl_->variables.count(name) != 0;
}

std::size_t expression_engine::variable_count() const {
    return impl_->variables.size();
}

std::string expression_engine::error_text(int code, int position, const std::string& token,
                                          const std::string& message,
                                          const std::string& expression) {
    return "Ошибка (" + std::to_string(code) + ") в выражении (позиция " +
           std::to_string(position) + "):\r\n• символ: " + token + "\r\n• сообщение: " + message +
           "\r\n• выражение: " + expression;
}

namespace {

bool runnable(mu::ECmdCode cmd) {
    switch (cmd) {
    case mu::cmLE:
    case mu::cmGE:
    case mu::cmNEQ:
    case mu::cmEQ:
    case mu::cmLT:
    case mu::cmGT:
    case mu::cmADD:
    case mu::cmSUB:
    case mu::cmMUL:
    case mu::cmDIV:
    case mu::cmPOW:
    case mu::cmLAND:
    case mu::cmLOR:
    case mu::cmASSIGN:
    case mu::cmIF:
    case mu::cmELSE:
    case mu::cmENDIF:
    case mu::cmVAR:
    case mu::cmVAL:
    case mu::cmVARPOW2:
    case mu::cmVARPOW3:
    case mu::cmVARPOW4:
    case mu::cmVARMUL:
    case mu::cmFUNC:
    case mu::cmEND:
        return true;
    default:
        return false;
    }
}

} // namespace

// The expression's shape and the variable names in it, in order of first use; false when it
// is better parsed on its own (no variables, too many, a name not bound to a signal).
bool expression_engine::shape_of(const std::string& expression, std::string& shape,
                                 std::vector<std::string>& names) const {
    const mu::Parser& p = impl_->parser;
    const std::string name_chars = p.ValidNameChars();
    auto is_name_char = [&name_chars](char ch) { return name_chars.find(ch) != std::string::npos; };
    std::size_t i = 0;
    const std::size_t n = expression.size();
    while (i < n) {
        char ch = expression[i];
        if (ch == '"') {
            // A string constant goes as it is.
            std::size_t end = expression.find('"', i + 1);
            end = end == std::string::npos ? n : end + 1;
            shape.append(expression, i, end - i);
            i = end;
            continue;
        }
        if (!is_name_char(ch)) {
            shape += ch;
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < n &&
               (is_name_char(expression[end]) ||
                ((ch >= '0' && ch <= '9') && (expression[end] == ',' || expression[end] == '.'))))
            ++end;
        std::string word = expression.substr(i, end - i);
        i = end;
        std::size_t next = expression.find_first_not_of(" \t", end);
        bool is_call = next != std::string::npos && expression[next] == '(';
        // Numbers, calls, the word operators and the constants stay as they are.
        if ((ch >= '0' && ch <= '9') || is_call || word == "and" || word == "or" || word == "xor" ||
            word == "self" || p.GetConst().count(word) != 0) {
            shape += word;
            continue;
        }
        if (word.starts_with(placeholder_prefix) || impl_->variables.count(word) == 0)
            return false;
        auto at = std::find(names.begin(), names.end(), word);
        if (at == names.end()) {
            if (names.size() == max_shape_variables)
                return false;
            names.push_back(word);
            at = names.end() - 1;
        }
        shape += placeholder_name(static_cast<std::size_t>(at - names.begin()));
    }
    return !names.empty();
}

// Fills the program from the expression's shape; false when it must be parsed on its own.
bool expression_engine::compile_by_shape(const std::string& expression,
                                         compiled_expression::program& code) {
    std::string shape;
    std::vector<std::string> names;
    if (!shape_of(expression, shape, names))
        return false;
    auto found = impl_->shapes.find(shape);
    if (found == impl_->shapes.end()) {
        mu::Parser& p = impl_->parser;
        impl::shape_code made;
        // A signal that happens to carry a placeholder's name keeps it.
        bool free = true;
        for (std::size_t k = 0; k < max_shape_variables && free; ++k)
            free = p.GetVar().count(placeholder_name(k)) == 0;
        if (free) {
            for (std::size_t k = 0; k < names.size(); ++k)
                p.DefineVar(placeholder_name(k), &impl_->placeholder_slots[k]);
            try {
                p.SetExpr(shape);
                p.Eval();
                made.ok = impl_->unknown.empty();
                const mu::ParserByteCode& bytes = p.GetByteCode();
                made.tokens.assign(bytes.GetBase(), bytes.GetBase() + bytes.GetSize());
                made.stack = bytes.GetMaxStackSize();
            } catch (const mu::Parser::exception_type&) {
                made.ok = false;
            }
            forget_unknown();
            for (std::size_t k = 0; k < names.size(); ++k)
                p.RemoveVar(placeholder_name(k));
        }
        found = impl_->shapes.emplace(shape, std::move(made)).first;
    }
    const impl::shape_code& shaped = found->second;
    if (!shaped.ok)
        return false;
    code.tokens = shaped.tokens;
    code.stack = shaped.stack;
    const double* first = impl_->placeholder_slots.data();
    const double* last = first + max_shape_variables;
    auto real = [&](double* slot) {
        if (slot < first || slot >= last)
            return slot;
        return impl_->variables.at(names[static_cast<std::size_t>(slot - first)]).slot;
    };
    for (mu::SToken& t : code.tokens) {
        if (is_variable_token(t.Cmd))
            t.Val.ptr = real(t.Val.ptr);
        else if (t.Cmd == mu::cmASSIGN)
            t.Oprt.ptr = real(t.Oprt.ptr);
    }
    return true;
}

expression_engine::compiled_ptr expression_engine::compile(const std::string& expression) {
    compiled_ptr& entry = impl_->cache[expression];
    if (entry && entry->generation == impl_->generation)
        return entry;
    if (entry && entry->ok) {
        // Still good when every variable it reads is bound to the same value as before.
        bool valid = true;
        for (auto& v : entry->variables) {
            auto it = impl_->variables.find(v.name);
            if (it == impl_->variables.end() || it->second.slot != v.slot) {
                valid = false;
                break;
            }
            v.owner = it->second.owner;
        }
        if (valid) {
            entry->generation = impl_->generation;
            return entry;
        }
    }

    auto c = std::make_shared<compiled_expression>();
    c->generation = impl_->generation;
    c->code = std::make_unique<compiled_expression::program>();
    mu::Parser& p = impl_->parser;
    try {
        if (!compile_by_shape(expression, *c->code)) {
            parse(expression);
            const mu::ParserByteCode& bytes = p.GetByteCode();
            const mu::SToken* base = bytes.GetBase();
            c->code->tokens.assign(base, base + bytes.GetSize());
            c->code->stack = bytes.GetMaxStackSize();
        }
        std::unordered_set<const double*> seen;
        for (const mu::SToken& t : c->code->tokens) {
            if (!runnable(t.Cmd) || (t.Cmd == mu::cmFUNC && t.Fun.argc > 4))
                c->code->through_parser = true;
            const double* slot = nullptr;
            if (is_variable_token(t.Cmd))
                slot = t.Val.ptr;
            else if (t.Cmd == mu::cmASSIGN)
                slot = t.Oprt.ptr;
            if (slot == nullptr || slot == &impl_->self_slot || !seen.insert(slot).second)
                continue;
            auto it = impl_->by_slot.find(slot);
            if (it != impl_->by_slot.end())
                c->variables.push_back(*it->second);
        }
        if (c->code->through_parser)
            c->code->text = expression;
        c->ok = true;
    } catch (const mu::Parser::exception_type& e) {
        c->error = error_text(static_cast<int>(e.GetCode()), static_cast<int>(e.GetPos()),
                              e.GetToken(), e.GetMsg(), expression);
        nx_log::main().err(c->error);
    }
    entry = c;
    return c;
}

bool expression_engine::run(const compiled_expression& expression, double& result) {
    if (!expression.ok || !expression.code)
        return false;
    impl_->self_slot = self_ != nullptr ? *self_ : 0.0;
    const compiled_expression::program& code = *expression.code;
    if (code.through_parser) {
        try {
            impl_->parser.SetExpr(code.text);
            result = impl_->parser.Eval();
            return true;
        } catch (const mu::Parser::exception_type&) {
            return false;
        }
    }
    std::vector<double>& stack = impl_->stack;
    if (stack.size() < code.stack + 2)
        stack.resize(code.stack + 2);
    double* st = stack.data();
    // The parser's own evaluation order: one-based stack, jumps relative to the token.
    int sidx = 0;
    const mu::SToken* end = code.tokens.data() + code.tokens.size();
    for (const mu::SToken* tok = code.tokens.data(); tok < end && tok->Cmd != mu::cmEND; ++tok) {
        switch (tok->Cmd) {
        case mu::cmLE:
            --sidx;
            st[sidx] = st[sidx] <= st[sidx + 1];
            break;
        case mu::cmGE:
            --sidx;
            st[sidx] = st[sidx] >= st[sidx + 1];
            break;
        case mu::cmNEQ:
            --sidx;
            st[sidx] = st[sidx] != st[sidx + 1];
            break;
        case mu::cmEQ:
            --sidx;
            st[sidx] = st[sidx] == st[sidx + 1];
            break;
        case mu::cmLT:
            --sidx;
            st[sidx] = st[sidx] < st[sidx + 1];
            break;
        case mu::cmGT:
            --sidx;
            st[sidx] = st[sidx] > st[sidx + 1];
            break;
        case mu::cmADD:
            --sidx;
            st[sidx] += st[sidx + 1];
            break;
        case mu::cmSUB:
            --sidx;
            st[sidx] -= st[sidx + 1];
            break;
        case mu::cmMUL:
            --sidx;
            st[sidx] *= st[sidx + 1];
            break;
        case mu::cmDIV:
            --sidx;
            st[sidx] /= st[sidx + 1];
            break;
        case mu::cmPOW:
            --sidx;
            st[sidx] = std::pow(st[sidx], st[sidx + 1]);
            break;
        case mu::cmLAND:
            --sidx;
            st[sidx] = st[sidx] != 0 && st[sidx + 1] != 0;
            break;
        case mu::cmLOR:
            --sidx;
            st[sidx] = st[sidx] != 0 || st[sidx + 1] != 0;
            break;
        case mu::cmASSIGN:
            --sidx;
            st[sidx] = *tok->Oprt.ptr = st[sidx + 1];
            break;
        case mu::cmIF:
            if (st[sidx--] == 0)
                tok += tok->Oprt.offset;
            break;
        case mu::cmELSE:
            tok += tok->Oprt.offset;
            break;
        case mu::cmENDIF:
            break;
        case mu::cmVAR:
            st[++sidx] = *tok->Val.ptr;
            break;
        case mu::cmVAL:
            st[++sidx] = tok->Val.data2;
            break;
        case mu::cmVARPOW2: {
            double v = *tok->Val.ptr;
            st[++sidx] = v * v;
            break;
        }
        case mu::cmVARPOW3: {
            double v = *tok->Val.ptr;
            st[++sidx] = v * v * v;
            break;
        }
        case mu::cmVARPOW4: {
            double v = *tok->Val.ptr;
            st[++sidx] = v * v * v * v;
            break;
        }
        case mu::cmVARMUL:
            st[++sidx] = *tok->Val.ptr * tok->Val.data + tok->Val.data2;
            break;
        case mu::cmFUNC: {
            const mu::generic_callable_type& f = tok->Fun.cb;
            int argc = tok->Fun.argc;
            switch (argc) {
            case 0:
                ++sidx;
                st[sidx] = f.call_fun<0>();
                break;
            case 1:
                st[sidx] = f.call_fun<1>(st[sidx]);
                break;
            case 2:
                sidx -= 1;
                st[sidx] = f.call_fun<2>(st[sidx], st[sidx + 1]);
                break;
            case 3:
                sidx -= 2;
                st[sidx] = f.call_fun<3>(st[sidx], st[sidx + 1], st[sidx + 2]);
                break;
            case 4:
                sidx -= 3;
                st[sidx] = f.call_fun<4>(st[sidx], st[sidx + 1], st[sidx + 2], st[sidx + 3]);
                break;
            default:
                if (argc > 0)
                    return false;
                // Any number of arguments: the function gets them as an array.
                sidx -= -argc - 1;
                st[sidx] = f.call_multfun(&st[sidx], -argc);
                break;
            }
            break;
        }
        default:
            return false;
        }
    }
    if (sidx < 1)
        return false;
    result = st[sidx];
    return true;
}

std::vector<std::string> expression_engine::names_used(const std::string& expression) {
    std::vector<std::string> names;
    try {
        impl_->parser.SetExpr(expression);
        for (const auto& [name, slot] : impl_->parser.GetUsedVar())
            if (name != "self")
                names.push_back(name);
    } catch (const mu::Parser::exception_type&) {
        names.clear();
    }
    // Unknown names are used too: they are listed, not kept as variables.
    forget_unknown();
    return names;
}

} // namespace nxkit
