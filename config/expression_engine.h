#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace nxkit {

class t_ref;

// A variable of an expression: a signal key bound to its signal's value.
struct expression_variable {
    std::string name;
    double* slot = nullptr;
    t_ref* owner = nullptr;
};

// An expression as the engine compiled it. Kept by the engine, so an expression is parsed once
// while the variable bindings stay the same.
struct compiled_expression {
    compiled_expression();
    ~compiled_expression();
    compiled_expression(const compiled_expression&) = delete;
    compiled_expression& operator=(const compiled_expression&) = delete;

    bool ok = false;
    // The log line of the parser's complaint when not ok.
    std::string error;
    // The signal variables it reads ("self" is not one of them), each once.
    std::vector<expression_variable> variables;

    struct program;
    std::unique_ptr<program> code;
    unsigned generation = 0;

    // The store's signal numbers of `variables`, in the same order, so a calculation finds
    // its sources without looking their names up; taken again when the store's tables are
    // rebuilt or gain signals.
    std::vector<std::uint32_t> signal_ids;
    unsigned ids_generation = 0;
    std::size_t ids_size = 0;
};

// The one expression parser of the store (muParser): decimal separator ',', argument separator
// ';', the prefix operator "!", the word operators "and", "or", "xor", the function "self()"
// (also usable as the bare name "self") and every bound signal key as a variable.
class expression_engine {
public:
    using compiled_ptr = std::shared_ptr<compiled_expression>;

    expression_engine();
    ~expression_engine();
    expression_engine(const expression_engine&) = delete;
    expression_engine& operator=(const expression_engine&) = delete;

    void clear_variables();
    // False when the name cannot be a variable.
    bool bind(const std::string& name, double* slot, t_ref* owner);
    // Removes the variable when it is bound to that owner.
    void unbind(const std::string& name, const t_ref* owner);
    bool is_bound(const std::string& name) const;
    std::size_t variable_count() const;

    // Compiles (or finds compiled). A parser error is written to the program log as an ERR
    // line once per compilation and kept in the result.
    compiled_ptr compile(const std::string& expression);
    // Evaluates a compiled expression with the current self value; false when it cannot.
    bool run(const compiled_expression& expression, double& result);

    // Every name the expression uses as a variable, known or not; empty on a parse error.
    // Nothing is logged.
    std::vector<std::string> names_used(const std::string& expression);

    const double* self() const { return self_; }
    void set_self(const double* value) { self_ = value; }

    // The error line of a parser complaint.
    static std::string error_text(int code, int position, const std::string& token,
                                  const std::string& message, const std::string& expression);

private:
    static double* variable_factory(const char* name, void* data);
    void forget_unknown();
    void parse(const std::string& expression);
    bool shape_of(const std::string& expression, std::string& shape,
                  std::vector<std::string>& names) const;
    bool compile_by_shape(const std::string& expression, compiled_expression::program& code);

    struct impl;
    std::unique_ptr<impl> impl_;
    const double* self_ = nullptr;
};

} // namespace nxkit
