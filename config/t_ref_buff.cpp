#include "config/t_ref_buff.h"

#include "base/cp1251.h"
#include "base/files.h"
#include "base/last_error.h"
#include "base/nx_dir_cursor.h"
#include "base/nx_exception.h"
#include "base/nx_inixml.h"
#include "base/nx_log.h"
#include "base/nx_xml_writer.h"
#include "base/settings.h"
#include "base/text.h"
#include "config/config_classes.h"
#include "config/ref_types.h"
#include "config/update_tables.h"
#include "platform/station.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>
#include <unordered_set>

namespace nxkit {

namespace {

const char* const refs_template = "<struct>\r\n</struct>\r\n";
constexpr int format_version = 1;
constexpr std::size_t kept_init_messages = 10;

bool starts_with(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::int64_t nanoseconds(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Both texts are numbers, each read whole, of the same value ("0.50" and "0.5", "1e3" and
// "1000").
bool same_number(const std::string& a, const std::string& b) {
    double x = 0;
    double y = 0;
    auto ra = std::from_chars(a.data(), a.data() + a.size(), x);
    auto rb = std::from_chars(b.data(), b.data() + b.size(), y);
    return ra.ec == std::errc() && rb.ec == std::errc() && ra.ptr == a.data() + a.size() &&
           rb.ptr == b.data() + b.size() && x == y;
}

// Logs every attribute that a component read from `file` would not write back as it stood:
// a value out of range or malformed, which the class replaced. Attributes a class leaves out
// when they hold their default are not compared.
void report_replaced_values(t_ref& component, const nx_xml_element& element,
                            const std::string& file) {
    nx_xml_writer writer;
    writer.set_pretty(false);
    writer.begin("ref");
    try {
        component.write(writer);
    } catch (const std::exception&) {
        return;
    }
    const std::string& tag = writer.result();
    for (std::size_t at = tag.find(' '); at != std::string::npos; at = tag.find(' ', at)) {
        ++at;
        std::size_t equals = tag.find("=\"", at);
        std::size_t close = equals == std::string::npos ? equals : tag.find('"', equals + 2);
        if (close == std::string::npos)
            break;
        std::string name = tag.substr(at, equals - at);
        std::string written = tag.substr(equals + 2, close - equals - 2);
        at = close + 1;
        auto read = element.attributes.find(name);
        if (read == element.attributes.end() || xml_escape(read->second) == written ||
            same_number(read->second, written))
            continue;
        nx_log::main().war("Файл " + file + ", компонент '" + component.full_path_text() +
                           "': значение " + name + "=\"" + read->second +
                           "\" не может быть принято, загружено \"" + written + "\"");
    }
}

} // namespace

// ---------------------------------------------------------------- t_refs

t_refs::~t_refs() {
    clear();
}

t_ref& t_refs::find(const std::string& key) {
    t_ref* r = get(key);
    if (r == nullptr)
        throw nx_exception_ref_not_found(key);
    return *r;
}

t_ref* t_refs::get(const std::string& key) {
    auto it = map_.find(key);
    return it == map_.end() ? nullptr : it->second.get();
}

void t_refs::put(const std::string& key, std::unique_ptr<t_ref> component) {
    ++shape_;
    // A whole file is read in key order: each new key goes at the end.
    if (map_.empty() || std::prev(map_.end())->first < key) {
        map_.emplace_hint(map_.end(), key, std::move(component));
        return;
    }
    auto it = map_.lower_bound(key);
    if (it != map_.end() && it->first == key) {
        // The old component goes only after the new one is in place.
        std::unique_ptr<t_ref> old = std::move(it->second);
        it->second = std::move(component);
        return;
    }
    map_.emplace_hint(it, key, std::move(component));
}

std::unique_ptr<t_ref> t_refs::take(const std::string& key) {
    auto it = map_.find(key);
    if (it == map_.end())
        return nullptr;
    ++shape_;
    std::unique_ptr<t_ref> r = std::move(it->second);
    map_.erase(it);
    return r;
}

bool t_refs::first_under(const std::string& prefix, cursor& c) {
    if (prefix.empty()) {
        c = map_.begin();
        return c != map_.end();
    }
    std::string start = prefix + ".";
    c = map_.lower_bound(start);
    return c != map_.end() && starts_with(c->first, start);
}

bool t_refs::next_under(cursor& c, const std::string& prefix) {
    if (c == map_.end())
        return false;
    ++c;
    if (c == map_.end())
        return false;
    return prefix.empty() || (c->first.size() > prefix.size() && c->first[prefix.size()] == '.' &&
                              starts_with(c->first, prefix));
}

std::vector<t_ref*> t_refs::under(const std::string& prefix) {
    std::vector<t_ref*> list;
    cursor c;
    for (bool ok = first_under(prefix, c); ok; ok = next_under(c, prefix))
        list.push_back(c->second.get());
    return list;
}

std::vector<t_ref*> t_refs::children(const std::string& key) {
    std::vector<t_ref*> list;
    for (t_ref* r = next_child(key, {}); r != nullptr; r = next_child(key, r->key()))
        list.push_back(r);
    return list;
}

t_ref* t_refs::next_after(const std::string& key, const std::string& ancestor) {
    auto it = map_.upper_bound(key);
    if (it == map_.end() || !key_is_under(it->first, ancestor))
        return nullptr;
    return it->second.get();
}

t_ref* t_refs::next_child(const std::string& parent, const std::string& key) {
    // Past the whole subtree of `key`: '/' follows '.' in the byte order.
    auto it = key.empty() ? (parent.empty() ? map_.begin() : map_.lower_bound(parent + "."))
                          : map_.lower_bound(key + "/");
    for (; it != map_.end(); it = map_.lower_bound(it->first + "/")) {
        if (!parent.empty() && !key_is_under(it->first, parent))
            return nullptr;
        const std::string& k = it->first;
        std::size_t from = parent.empty() ? 0 : parent.size() + 1;
        if (k.find('.', from) == std::string::npos)
            return it->second.get();
    }
    return nullptr;
}

void t_refs::clear() {
    ++shape_;
    // Descendants go before their ancestors.
    while (!map_.empty()) {
        auto last = std::prev(map_.end());
        std::unique_ptr<t_ref> r = std::move(last->second);
        map_.erase(last);
        r.reset();
    }
}

// ---------------------------------------------------------------- t_ref_buff

t_ref_buff::t_ref_buff()
    : tables_(std::make_unique<tables>()), parser_(std::make_unique<expression_engine>()) {
    current_ = {{'D', "D"}, {'K', "K"}, {'S', "S"}};
    register_config_classes(*this);
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    created_ns_ = nanoseconds(now);
}

t_ref_buff::~t_ref_buff() {
    // Components still find the tables while they go.
    refs_.clear();
}

void t_ref_buff::register_class(int type, creator make) {
    classes_[type] = std::move(make);
}

std::unique_ptr<t_ref> t_ref_buff::create(int type) {
    auto it = classes_.find(type);
    if (it == classes_.end() || !it->second)
        return nullptr;
    return it->second(*this);
}

void t_ref_buff::put(const std::string& key, std::unique_ptr<t_ref> component) {
    refs_.put(key, std::move(component));
}

void t_ref_buff::clear() {
    refs_.clear();
}

std::string t_ref_buff::current(char root) const {
    auto it = current_.find(root);
    return it == current_.end() ? std::string(1, root) : it->second;
}

void t_ref_buff::set_current(const std::string& key) {
    if (!key.empty())
        current_[key[0]] = key;
}

std::string t_ref_buff::refs_path() const {
    return exe_dir() + "refs.ini";
}

void t_ref_buff::note_init_error(const std::string& text) {
    if (init_errors_ != nullptr)
        init_errors_->push_back(text);
}

// ---------------------------------------------------------------- reading

// Reads `ref` elements into the store: keys in document order under the given parent.
class ref_reader : public nx_xml_client {
public:
    ref_reader(t_ref_buff& store, std::string parent_key, std::vector<std::string>* collect,
               const nx_inixml& document)
        : store_(store), parent_(std::move(parent_key)), collect_(collect),
          fresh_(store.refs().empty()), document_(document) {}

    void on_start(const nx_xml_element& e) override {
        if (capturing_ > 0) {
            // Inside an element of an unknown class: kept as text, nothing of it is read.
            ++capturing_;
            return;
        }
        if (e.name == "REFs") {
            if (!store_.batch() && !store_.insertion_hold())
                store_.check_version(e);
            return;
        }
        if (skipping_ > 0) {
            // Inside a refused element: nothing of it is read.
            if (e.name == "ref")
                ++skipping_;
            return;
        }
        if (e.name != "ref") {
            if (!stack_.empty() && stack_.back().component != nullptr)
                stack_.back().component->on_start(e);
            return;
        }
        int type = e.attr_int("tp");
        const std::string& parent = stack_.empty() ? parent_ : stack_.back().key;
        std::string key;
        if (fresh_ && !stack_.empty()) {
            // Into an empty store the children of an element are all its own: numbered as
            // they come.
            int& next = stack_.back().children;
            if (next > max_child_number) {
                ++refused_[parent];
                skipping_ = 1;
                return;
            }
            key = make_child_key(parent, key_part(next++));
        } else {
            std::string local = type == 40 ? "K" : type == 50 ? "D" : type == 80 ? "S" : "0000";
            key = make_child_key(parent, local);
        }
        if (!(fresh_ && !stack_.empty()) && in_use(key)) {
            // Numbers below the hint were all found taken before.
            int& next = next_number_[parent];
            do {
                if (next > max_child_number) {
                    // A five-digit part would sort among the first thousand children.
                    ++refused_[parent];
                    skipping_ = 1;
                    return;
                }
                key = make_child_key(parent, key_part(next++));
            } while (in_use(key));
        }
        std::unique_ptr<t_ref> made = store_.create(type);
        bool unknown = false;
        if (made == nullptr &&
            (type == tp_dev_root || type == tp_struct_root || type == tp_schema_root)) {
            // The roots are always there, whichever classes are registered.
            made = std::make_unique<t_ref_root>(store_, type);
        } else if (made == nullptr) {
            made = std::make_unique<t_ref_unknown>(store_, type);
            unknown = true;
        }
        t_ref* component = made.get();
        stack_.push_back({key, component, 0});
        component->set_key(key);
        if (!store_.bulk())
            component->set_flag(true, flag_modified);
        store_.put(key, std::move(made));
        if (stack_.size() == 1)
            top_level_.push_back(key);
        if (collect_ != nullptr)
            collect_->push_back(key);
        component->on_start(e);
        if (store_.loading_ && !unknown)
            report_replaced_values(*component, e, document_.path());
        if (unknown) {
            // The lock attribute read above must not make it active.
            component->set_flag(true, flag_locked);
            capturing_ = 1;
            capture_start_ = e.start;
        }
    }

    void on_text(const nx_xml_element& e) override {
        if (capturing_ > 0)
            return;
        if (!stack_.empty() && stack_.back().component != nullptr)
            stack_.back().component->on_text(e);
    }

    void on_end(const nx_xml_element& e) override {
        if (capturing_ > 0) {
            if (--capturing_ == 0)
                keep_unknown(e);
            return;
        }
        if (skipping_ > 0) {
            if (e.name == "ref")
                --skipping_;
            return;
        }
        if (e.name == "REFs" || stack_.empty())
            return;
        if (stack_.back().component != nullptr)
            stack_.back().component->on_end(e);
        if (e.name == "ref")
            stack_.pop_back();
    }

    const std::vector<std::string>& top_level() const { return top_level_; }
    // Parent key -> how many elements found no free number under it.
    const std::map<std::string, int>& refused() const { return refused_; }

private:
    // The end of an element of an unknown class: its text from the start tag to the end tag
    // goes into the placeholder as it stood, and the log names it.
    void keep_unknown(const nx_xml_element& e) {
        auto& unknown = static_cast<t_ref_unknown&>(*stack_.back().component);
        const std::string& text = document_.text();
        std::size_t end = std::min(e.after, text.size());
        std::size_t start = std::min(capture_start_, end);
        unknown.set_source(from_cp1251(text.substr(start, end - start)));
        stack_.pop_back();
        const std::string& file = document_.path();
        nx_log::main().war("Компонент неизвестного типа " + std::to_string(unknown.type()) + " '" +
                           unknown.full_path_text() + "'" +
                           (file.empty() ? std::string() : " в файле " + file) +
                           " не загружен: он сохраняется в файле без изменений вместе с "
                           "вложенными элементами");
    }

    // A key is taken by a component or by components left under it: a newcomer must not
    // adopt somebody else's children.
    bool in_use(const std::string& key) const {
        if (store_.get(key) != nullptr)
            return true;
        t_refs::cursor c;
        return store_.refs().first_under(key, c);
    }

    struct open_ref {
        std::string key;
        t_ref* component;
        // The next child number, when reading into an empty store.
        int children;
    };

    t_ref_buff& store_;
    std::string parent_;
    std::vector<std::string>* collect_;
    bool fresh_;
    std::vector<open_ref> stack_;
    std::vector<std::string> top_level_;
    const nx_inixml& document_;
    // Depth inside an element of an unknown class (0 outside), and where its start tag began.
    int capturing_ = 0;
    std::size_t capture_start_ = 0;
    std::unordered_map<std::string, int> next_number_;
    std::map<std::string, int> refused_;
    // Depth inside a refused element (0 outside).
    int skipping_ = 0;
};

void t_ref_buff::check_version(const nx_xml_element& element) {
    int version = element.attr_int("version");
    std::string line = "Версия формата конфигурации " + std::to_string(version);
    if (version == format_version)
        nx_log::main().mes(line);
    else
        nx_log::main().war(line);
    std::string question;
    if (version > format_version)
        question = "Возможна некорретная загрузка конфигурации !\r\n" + line +
                   ".\r\nПоддерживаются конфигурации до " + std::to_string(format_version) +
                   " версии включительно.\r\nПродолжить загрузку ?";
    else if (version < format_version)
        question = "Необходима конвертация формата конфигурации до версии " +
                   std::to_string(format_version) + ".\r\n" + line +
                   ".\r\nКонвертировать и продолжить загрузку ?";
    if (!question.empty() && show_message(owner_, question, mb_question) != answer_yes)
        throw nx_exception(line);
}

void t_ref_buff::read_text(nx_inixml& document, const std::string& parent_key,
                           std::vector<std::string>* collect) {
    ref_reader reader(*this, parent_key, collect, document);
    // The version refusal stops the parse; it is thrown again as it was, not as a parse error.
    struct refusal_catcher : nx_xml_client {
        ref_reader& inner;
        std::string refused;
        explicit refusal_catcher(ref_reader& r) : inner(r) {}
        void on_start(const nx_xml_element& e) override {
            try {
                inner.on_start(e);
            } catch (const nx_exception& ex) {
                if (e.name == "REFs")
                    refused = ex.what();
                throw;
            }
        }
        void on_text(const nx_xml_element& e) override { inner.on_text(e); }
        void on_end(const nx_xml_element& e) override { inner.on_end(e); }
    } client(reader);

    if (!document.parse("struct/REFs", client)) {
        if (!client.refused.empty())
            throw nx_exception(client.refused);
        throw nx_exception("Ошибка загрузки конфигурации " + document.error());
    }

    for (const auto& [parent, count] : reader.refused()) {
        t_ref* p = get(parent);
        std::string text =
            "Компонент '" + (p != nullptr ? p->full_path_text() : parent) +
            "' не может содержать более " + std::to_string(max_child_number + 1) +
            " дочерних компонентов.\r\nНе добавлено компонентов: " + std::to_string(count) + ".";
        nx_log::main().err(text);
        show_message(owner_, text, mb_error);
    }

    std::vector<std::string> messages;
    int errors = 0;
    std::vector<std::string> tops = reader.top_level();
    std::sort(tops.begin(), tops.end());
    for (const std::string& key : tops) {
        t_ref* top = get(key);
        if (top == nullptr)
            continue;
        std::vector<std::string> noted;
        init_errors_ = &noted;
        try {
            top->init();
        } catch (const nx_exception& e) {
            top->set_flag(true, flag_locked);
            noted.insert(noted.begin(), e.what());
        }
        init_errors_ = nullptr;
        for (const std::string& text : noted) {
            ++errors;
            if (messages.size() < kept_init_messages)
                messages.push_back(text);
        }
    }
    if (errors > 0) {
        std::string kept;
        for (const std::string& m : messages)
            kept += m + "\r\n";
        std::string text = "Инициализация конфигурации завершилась с ошибками:\r\n" + kept +
                           (errors > static_cast<int>(kept_init_messages) ? "и другие, " : "") +
                           " всего " + std::to_string(errors) +
                           ".\r\nКомпоненты, вызвавшие ошибку, заблокированы.";
        show_message(owner_, text, mb_error);
    }
    rebuild(false, true);
}

void t_ref_buff::insert_xml(const std::string& parent_key, const std::string& xml,
                            std::vector<std::string>* collect) {
    nx_inixml document(
        "<struct>\r\n<REFs version=\"1\">\r\n" + xml + "\r\n</REFs>\r\n</struct>\r\n", false);
    read_text(document, parent_key, collect);
    if (!parent_key.empty())
        mark_changed(parent_key);
    update_pass();
}

void t_ref_buff::load(const std::string& file_name) {
    if (loading_)
        return;
    if (!loaded_once_) {
        loaded_once_ = true;
        if (!detached_)
            remove_save_leftovers();
    }
    std::string path = file_name.empty() ? refs_path() : file_name;
    if (long long size = file_size(path); size <= 0)
        nx_log::main().war("Файл конфигурации " + path + (size < 0 ? " не найден" : " пуст") +
                           ": запущена пустая станция");
    nx_inixml document(path, true, refs_template);
    load_document(document);
    if (!detached_)
        restore_manual_values();
    state_.set_load_failed(false);
    state_.set_changed(false);
}

void t_ref_buff::load_text(const std::string& text) {
    if (loading_)
        return;
    loaded_once_ = true;
    bool whole = text.find("<struct") != std::string::npos;
    nx_inixml document(whole ? text : "<struct>\r\n" + text + "\r\n</struct>\r\n", false);
    load_document(document);
    state_.set_load_failed(false);
    state_.set_changed(false);
}

void t_ref_buff::load_document(nx_inixml& document) {
    flag_guard loading(loading_);
    state_.set_load_failed(true);
    ++generation_;
    retired_.clear(); // older messages are dropped by their generation

    for (i_viewer* v : std::vector<i_viewer*>(viewers_))
        v->on_unload();
    tables_->observers.clear();
    ++tables_->observers_version;
    changed_.clear();
    update_pass(true);
    rebuild(true, true);
    clear();
    current_ = {{'D', "D"}, {'K', "K"}, {'S', "S"}};
    {
        flag_guard bulk(bulk_);
        read_text(document, {}, nullptr);
        update_pass();
        if (create_missing_roots() && !tables_->graph.empty()) {
            // The roots sort before everything: the orders the rebuild took are taken again,
            // or every pass would fall back to ordering its keys as text.
            assign_orders();
            tables_->graph.refresh_orders();
            tables_->graph.set_shape(refs_.shape());
        }
    }
    notify_loaded();
    if (devices_running_)
        start_devices(true);
}

bool t_ref_buff::create_missing_roots() {
    bool created = false;
    static const std::array<std::pair<const char*, int>, 3> roots = {
        {{"D", tp_dev_root}, {"K", tp_struct_root}, {"S", tp_schema_root}}};
    for (const auto& [key, type] : roots) {
        if (get(key) != nullptr)
            continue;
        std::unique_ptr<t_ref> root = create(type);
        if (!root)
            root = std::make_unique<t_ref_root>(*this, type);
        root->set_key(key);
        root->set_title(type_name(type));
        root->set_flag(true, flag_no_delete);
        put(key, std::move(root));
        mark_changed(key);
        created = true;
    }
    return created;
}

void t_ref_buff::notify_loaded() {
    if (viewers_loading_)
        return;
    flag_guard guard(viewers_loading_);
    for (i_viewer* v : std::vector<i_viewer*>(viewers_))
        v->on_load();
}

void t_ref_buff::restore_manual_values() {
    if (settings_get_int("HAND", "LOAD", 0, true) == 0)
        return;
    // The section is looked at once; only the signals named in it are read one by one.
    std::unordered_set<std::string> present;
    for (const std::string& name : settings_key_names("HAND"))
        present.insert(to_lower(name));
    if (present.empty())
        return;
    t_refs::cursor c;
    for (bool ok = refs_.first_under("K", c); ok; ok = refs_.next_under(c, "K")) {
        auto* element = dynamic_cast<i_struct_element*>(c->second.get());
        if (element == nullptr || element->value_slot() == nullptr)
            continue;
        const std::string& signal = element->signal_key();
        if (signal.empty() || present.count(to_lower(signal)) == 0)
            continue;
        // Only what manual input writes is taken: 1, 0, or -1 for automatic. Anything else
        // (a hand-edited file) would freeze the signal at a value nobody entered.
        std::string text = trim(settings_get_string("HAND", signal, "", false), ' ');
        if (text == "-1")
            continue;
        if (text != "0" && text != "1") {
            nx_log::main().war("ручной ввод: значение '" + text + "' сигнала " + signal +
                               " в разделе HAND не принято");
            continue;
        }
        element->set_manual(text == "1" ? 1 : 0, true);
    }
}

// ---------------------------------------------------------------- writing

void t_ref_buff::write_subtree(nx_xml_writer& writer, t_ref& component, bool saving) {
    if (component.has_flag(flag_transient))
        return;
    if (saving && component.has_flag(flag_modified)) {
        component.set_flag(false, flag_modified);
        mark_changed(component.key());
    }
    if (auto* unknown = dynamic_cast<t_ref_unknown*>(&component)) {
        // Empty only when the text it came in broke off inside it: nothing whole to keep.
        if (!unknown->source().empty())
            writer.element_text(unknown->source());
        return;
    }
    writer.begin("ref");
    component.write(writer);
    write_children(writer, component.key(), saving);
    writer.end("ref");
}

void t_ref_buff::write_children(nx_xml_writer& writer, const std::string& key, bool saving) {
    for (t_ref* child = refs_.next_child(key, {}); child != nullptr;
         child = refs_.next_child(key, child->key()))
        write_subtree(writer, *child, saving);
}

std::string t_ref_buff::subtree_xml(const std::string& key) {
    nx_xml_writer writer;
    writer.set_indent(0);
    writer.set_attributes_on_lines(false);
    writer.begin("REFs");
    writer.attribute("version", std::to_string(format_version));
    if (key.empty()) {
        write_children(writer, {}, false);
    } else if (t_ref* component = get(key)) {
        write_subtree(writer, *component, false);
    }
    writer.end("REFs");
    return writer.result();
}

std::string t_ref_buff::saved_text() {
    if (state_.load_failed())
        throw nx_exception("Конфигурация загружена с ошибкой и не может быть сохранена");
    flag_guard bulk(bulk_);
    nx_xml_writer writer;
    writer.set_indent(0);
    writer.set_attributes_on_lines(false);
    writer.begin("REFs");
    writer.attribute("version", std::to_string(format_version));
    write_children(writer, {}, true);
    writer.end("REFs");
    return writer.result();
}

void t_ref_buff::refuse_if_detached(const char* what) const {
    if (detached_)
        throw nx_exception(std::string("Копия конфигурации для проверки: ") + what + " невозможно");
}

void t_ref_buff::save() {
    refuse_if_detached("сохранение");
    std::string text = saved_text();
    // Written to a temporary file and renamed over the old one.
    nx_inixml(refs_path(), true, refs_template).set_element("struct/REFs", text);
    state_.set_changed(false);
}

namespace {

std::string backup_folder() {
    return exe_dir() + "REFS/";
}

std::vector<std::string> backup_names() {
    std::vector<std::string> names;
    nx_dir_cursor c(backup_folder(), "*refs.ini", false);
    while (c.next())
        names.push_back(c.name());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

void t_ref_buff::backup() {
    refuse_if_detached("резервное копирование");
    std::string folder = backup_folder();
    make_dirs(folder);
    std::vector<std::string> names = backup_names();
    int limit = std::max(settings_get_int("CTRL", "MAX_BACK_REFS", 10, true), 10);
    for (int round = 0; static_cast<int>(names.size()) >= limit && round < 100; ++round) {
        std::error_code ec;
        std::filesystem::remove(folder + names.front(), ec);
        names.erase(names.begin());
    }
    int number = 1;
    if (!names.empty())
        number = std::atoi(names.back().c_str()) + 1;
    std::array<char, 16> digits{};
    std::snprintf(digits.data(), digits.size(), "%06d", number);
    // Written beside and renamed: a copy cut short is never offered as the latest backup.
    copy_file_atomic(refs_path(), folder + digits.data() + "refs.ini");
}

void t_ref_buff::remove_save_leftovers() {
    for (const std::string& name : {refs_path(), backup_folder() + "*refs.ini", settings_path()}) {
        for (const std::string& path : atomic_write_leftovers(name)) {
            struct stat st {};
            // A younger one may be a write of this very process in progress.
            if (::stat(path.c_str(), &st) != 0 || nanoseconds(st.st_mtim) >= created_ns_)
                continue;
            if (std::remove(path.c_str()) == 0)
                nx_log::main().war("Удалён временный файл прерванной записи " + path + " (" +
                                   std::to_string(st.st_size) + " байт)");
        }
    }
}

std::string t_ref_buff::save_as_backup() {
    refuse_if_detached("резервное копирование");
    nx_inixml document(refs_template);
    document.set_element("struct/REFs", saved_text());
    const std::string folder = backup_folder();
    make_dirs(folder);
    std::vector<std::string> names = backup_names();
    const int number = names.empty() ? 1 : std::atoi(names.back().c_str()) + 1;
    std::array<char, 16> digits{};
    std::snprintf(digits.data(), digits.size(), "%06d", number);
    const std::string path = folder + digits.data() + "refs.ini";
    // Whole or not at all: "Загрузить" offers it as the newest.
    if (!write_file_atomic(path, document.text()))
        throw nx_exception("не удалось сохранить файл " + path + last_error_text(errno));
    return path;
}

std::vector<std::string> t_ref_buff::backups() {
    std::vector<std::string> names = backup_names();
    std::vector<std::string> paths;
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        paths.push_back(backup_folder() + *it);
    return paths;
}

// ---------------------------------------------------------------- devices and views

void t_ref_buff::start_devices(bool on) {
    // A copy has no connections of its own: its values are held, never acquired.
    if (detached_ && on)
        return;
    devices_running_ = on;
    std::vector<t_ref*> list = refs_.under("D");
    if (t_ref* root = get("D"))
        list.insert(list.begin(), root);
    for (t_ref* c : list) {
        if (auto* device = dynamic_cast<t_device*>(c)) {
            if (on)
                device->start(poster_);
            else
                device->stop();
            mark_changed(c->key());
        }
    }
}

void t_ref_buff::add_viewer(i_viewer* viewer) {
    if (viewer != nullptr && std::find(viewers_.begin(), viewers_.end(), viewer) == viewers_.end())
        viewers_.push_back(viewer);
}

void t_ref_buff::remove_viewer(i_viewer* viewer) {
    viewers_.erase(std::remove(viewers_.begin(), viewers_.end(), viewer), viewers_.end());
    if (structure_tree_ == viewer)
        structure_tree_ = nullptr;
}

} // namespace nxkit
