// The filter term splitter.
#include "engine/expr/filter_terms.h"

#include "engine/expr/compare.h"
#include "engine/expr/evaluator.h"

namespace varelum::engine::expr {
namespace {

std::optional<TermOperator> term_operator(Operator op) {
    switch (op) {
        case Operator::Equal:
        case Operator::ExactEqual:
            return TermOperator::Equal;
        case Operator::NotEqual:
            return TermOperator::NotEqual;
        case Operator::Less:
            return TermOperator::Less;
        case Operator::LessEqual:
            return TermOperator::LessEqual;
        case Operator::Greater:
            return TermOperator::Greater;
        case Operator::GreaterEqual:
            return TermOperator::GreaterEqual;
        default:
            return std::nullopt;
    }
}

TermOperator negate(TermOperator op) {
    switch (op) {
        case TermOperator::Equal:
            return TermOperator::NotEqual;
        case TermOperator::NotEqual:
            return TermOperator::Equal;
        case TermOperator::Less:
            return TermOperator::GreaterEqual;
        case TermOperator::LessEqual:
            return TermOperator::Greater;
        case TermOperator::Greater:
            return TermOperator::LessEqual;
        case TermOperator::GreaterEqual:
            return TermOperator::Less;
    }
    return op;
}

TermOperator mirror(TermOperator op) {
    switch (op) {
        case TermOperator::Less:
            return TermOperator::Greater;
        case TermOperator::LessEqual:
            return TermOperator::GreaterEqual;
        case TermOperator::Greater:
            return TermOperator::Less;
        case TermOperator::GreaterEqual:
            return TermOperator::LessEqual;
        default:
            return op;
    }
}

bool term_holds(TermOperator op, int c) {
    switch (op) {
        case TermOperator::Equal:
            return c == 0;
        case TermOperator::NotEqual:
            return c != 0;
        case TermOperator::Less:
            return c < 0;
        case TermOperator::LessEqual:
            return c <= 0;
        case TermOperator::Greater:
            return c > 0;
        case TermOperator::GreaterEqual:
            return c >= 0;
    }
    return false;
}

void finish_term(FilterTerm& term, const ExpressionSettings& settings) {
    term.key_text = normalized_text(*term.key);
    Value null = Value::null_of(term.key->type.type);
    null.case_insensitive = term.key->type.case_insensitive;
    if (null.type == ValueType::Character) {
        null.text.assign(term.key->type.width, ' ');
    }
    int c = compare_values(null, term.constant, term.prefix ? TextMatch::Prefix : TextMatch::Whole,
                           settings.text_collation());
    term.matches_null = term_holds(term.op, c);
}

class Splitter {
  public:
    explicit Splitter(const ExpressionSettings& settings) : settings_(settings) {}

    FilterNode split(const Node& node, bool negated) {
        if (node.kind == NodeKind::Unary && node.op == Operator::Not) {
            return split(*node.children[0], !negated);
        }
        if (node.kind == NodeKind::Binary &&
            (node.op == Operator::And || node.op == Operator::Or)) {
            bool is_and = (node.op == Operator::And) != negated;  // De Morgan
            FilterNode out;
            out.kind = is_and ? FilterNode::Kind::And : FilterNode::Kind::Or;
            for (const auto& child : node.children) {
                FilterNode part = split(*child, negated);
                // Flatten A AND (B AND C) into one AND of three.
                if (part.kind == out.kind) {
                    for (FilterNode& grandchild : part.children) {
                        out.children.push_back(std::move(grandchild));
                    }
                } else {
                    out.children.push_back(std::move(part));
                }
            }
            return out;
        }
        if (auto term = comparison_term(node, negated)) {
            FilterNode out;
            out.kind = FilterNode::Kind::Term;
            out.term = std::move(*term);
            return out;
        }
        if (!node.is_constant && node.kind != NodeKind::Binary) {
            // A logical field or call: the term "<it> = .T." (or .F. when negated).
            FilterNode out;
            out.kind = FilterNode::Kind::Term;
            out.term.key = &node;
            out.term.op = TermOperator::Equal;
            out.term.constant = Value::boolean(!negated);
            out.term.source = &node;
            out.term.negated = negated;
            finish_term(out.term, settings_);
            return out;
        }
        FilterNode out;
        out.kind = FilterNode::Kind::Residual;
        out.residual = &node;
        out.negated = negated;
        return out;
    }

  private:
    std::optional<FilterTerm> comparison_term(const Node& node, bool negated) {
        if (node.kind != NodeKind::Binary) {
            return std::nullopt;
        }
        std::optional<TermOperator> op = term_operator(node.op);
        if (!op) {
            return std::nullopt;
        }
        const Node& left = *node.children[0];
        const Node& right = *node.children[1];
        if (left.is_constant == right.is_constant || left.type.type != right.type.type) {
            return std::nullopt;
        }
        const bool text = left.type.type == ValueType::Character;
        const bool prefix = text && node.op != Operator::ExactEqual && !settings_.exact;
        FilterTerm term;
        term.prefix = prefix;
        term.source = &node;
        term.negated = negated;
        if (!left.is_constant) {
            term.key = &left;
            term.op = *op;
            term.constant = evaluate_constant(right, settings_);
        } else {
            // 'AB' = Name with the exact setting off asks whether Name is a prefix of 'AB':
            // no index range answers that.
            if (prefix) {
                return std::nullopt;
            }
            term.key = &right;
            term.op = mirror(*op);
            term.constant = evaluate_constant(left, settings_);
        }
        if (negated) {
            term.op = negate(term.op);
        }
        finish_term(term, settings_);
        return term;
    }

    const ExpressionSettings& settings_;
};

std::string term_operator_text(TermOperator op) {
    switch (op) {
        case TermOperator::Equal:
            return "=";
        case TermOperator::NotEqual:
            return "<>";
        case TermOperator::Less:
            return "<";
        case TermOperator::LessEqual:
            return "<=";
        case TermOperator::Greater:
            return ">";
        case TermOperator::GreaterEqual:
            return ">=";
    }
    return "?";
}

}  // namespace

FilterNode split_filter(const Expression& filter, const ExpressionSettings& settings) {
    return Splitter(settings).split(filter.root(), false);
}

bool evaluate_filter_node(const FilterNode& node, const RecordAccess& record) {
    switch (node.kind) {
        case FilterNode::Kind::And:
            for (const FilterNode& child : node.children) {
                if (!evaluate_filter_node(child, record)) {
                    return false;
                }
            }
            return true;
        case FilterNode::Kind::Or:
            for (const FilterNode& child : node.children) {
                if (evaluate_filter_node(child, record)) {
                    return true;
                }
            }
            return false;
        case FilterNode::Kind::Term:
            return evaluate(*node.term.source, record).logical != node.term.negated;
        case FilterNode::Kind::Residual:
            return evaluate(*node.residual, record).logical != node.negated;
    }
    return false;
}

std::string filter_node_text(const FilterNode& node) {
    switch (node.kind) {
        case FilterNode::Kind::And:
        case FilterNode::Kind::Or: {
            std::string out;
            for (const FilterNode& child : node.children) {
                if (!out.empty()) {
                    out += node.kind == FilterNode::Kind::And ? " AND " : " OR ";
                }
                // A residual operation prints its own parentheses.
                const bool bracketed = child.kind == FilterNode::Kind::Residual && !child.negated &&
                                       (child.residual->kind == NodeKind::Binary ||
                                        child.residual->kind == NodeKind::Unary);
                out += bracketed ? filter_node_text(child) : "(" + filter_node_text(child) + ")";
            }
            return out;
        }
        case FilterNode::Kind::Term: {
            Node constant;
            constant.kind = NodeKind::Literal;
            constant.literal = node.term.constant;
            constant.type.type = node.term.constant.type;
            std::string op = term_operator_text(node.term.op);
            if (!node.term.prefix && node.term.key->type.type == ValueType::Character &&
                node.term.op == TermOperator::Equal) {
                op = "==";
            }
            return node.term.key_text + " " + op + " " + normalized_text(constant);
        }
        case FilterNode::Kind::Residual:
            return (node.negated ? "NOT " : "") + normalized_text(*node.residual);
    }
    return {};
}

}  // namespace varelum::engine::expr
