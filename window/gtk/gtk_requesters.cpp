// The requesters on GTK 2, loaded at run time. Dialogs run modally on the
// calling thread; without GTK (or without an X server) the terminal
// prompts stand in.
#include "window/gtk/os_requesters.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "window/gtk/terminal_requesters.h"
#include "window/x11/runtime_libs.h"

namespace {

typedef void *W;  // GtkWidget and friends, opaque here

struct GdkColorRec {
    uint32_t pixel;
    uint16_t red, green, blue;
};

struct GtkApi {
    void *handle = nullptr;
    void (*disable_setlocale)(void) = nullptr;
    int (*init_check)(int *, char ***) = nullptr;
    W (*message_dialog_new)(W, int, int, int, const char *, ...) = nullptr;
    W (*dialog_add_button)(W, const char *, int) = nullptr;
    void (*dialog_set_default_response)(W, int) = nullptr;
    int (*dialog_run)(W) = nullptr;
    W (*dialog_get_content_area)(W) = nullptr;
    void (*window_set_title)(W, const char *) = nullptr;
    void (*widget_destroy)(W) = nullptr;
    void (*widget_show_all)(W) = nullptr;
    void (*container_add)(W, W) = nullptr;
    W (*label_new)(const char *) = nullptr;
    W (*entry_new)(void) = nullptr;
    void (*entry_set_text)(W, const char *) = nullptr;
    const char *(*entry_get_text)(W) = nullptr;
    void (*entry_set_activates_default)(W, int) = nullptr;
    W (*combo_box_new_text)(void) = nullptr;
    void (*combo_box_append_text)(W, const char *) = nullptr;
    void (*combo_box_set_active)(W, int) = nullptr;
    int (*combo_box_get_active)(W) = nullptr;
    W (*file_chooser_dialog_new)(const char *, W, int, const char *, ...) = nullptr;
    void (*file_chooser_set_current_folder)(W, const char *) = nullptr;
    void (*file_chooser_set_current_name)(W, const char *) = nullptr;
    void (*file_chooser_set_select_multiple)(W, int) = nullptr;
    char *(*file_chooser_get_filename)(W) = nullptr;
    void *(*file_chooser_get_filenames)(W) = nullptr;
    W (*font_selection_dialog_new)(const char *) = nullptr;
    char *(*font_selection_dialog_get_font_name)(W) = nullptr;
    int (*font_selection_dialog_set_font_name)(W, const char *) = nullptr;
    W (*color_selection_dialog_new)(const char *) = nullptr;
    W (*color_selection_dialog_get_color_selection)(W) = nullptr;
    void (*color_selection_set_current_color)(W, const GdkColorRec *) = nullptr;
    void (*color_selection_get_current_color)(W, GdkColorRec *) = nullptr;
    int (*events_pending)(void) = nullptr;
    int (*main_iteration)(void) = nullptr;
    void (*g_free)(void *) = nullptr;
    void (*g_slist_free)(void *) = nullptr;
};

struct GSListRec {
    void *data;
    GSListRec *next;
};

GtkApi g_gtk;
int g_state = 0;  // 0 not tried, 1 ready, -1 unavailable
int g_disabled = 0;

enum { kResponseOk = -5, kResponseCancel = -6, kResponseAccept = -3 };

bool Ready() {
    if (g_disabled) return false;
    if (g_state) return g_state > 0;
    g_state = -1;
    if (!getenv("DISPLAY") || !*getenv("DISPLAY")) return false;
    static const char *const names[] = {"libgtk-x11-2.0.so.0", "libgtk-x11-2.0.so", nullptr};
    GtkApi &a = g_gtk;
    const cxLibFunction fns[] = {
        {"gtk_disable_setlocale", reinterpret_cast<void **>(&a.disable_setlocale)},
        {"gtk_init_check", reinterpret_cast<void **>(&a.init_check)},
        {"gtk_message_dialog_new", reinterpret_cast<void **>(&a.message_dialog_new)},
        {"gtk_dialog_add_button", reinterpret_cast<void **>(&a.dialog_add_button)},
        {"gtk_dialog_set_default_response", reinterpret_cast<void **>(&a.dialog_set_default_response)},
        {"gtk_dialog_run", reinterpret_cast<void **>(&a.dialog_run)},
        {"gtk_dialog_get_content_area", reinterpret_cast<void **>(&a.dialog_get_content_area)},
        {"gtk_window_set_title", reinterpret_cast<void **>(&a.window_set_title)},
        {"gtk_widget_destroy", reinterpret_cast<void **>(&a.widget_destroy)},
        {"gtk_widget_show_all", reinterpret_cast<void **>(&a.widget_show_all)},
        {"gtk_container_add", reinterpret_cast<void **>(&a.container_add)},
        {"gtk_label_new", reinterpret_cast<void **>(&a.label_new)},
        {"gtk_entry_new", reinterpret_cast<void **>(&a.entry_new)},
        {"gtk_entry_set_text", reinterpret_cast<void **>(&a.entry_set_text)},
        {"gtk_entry_get_text", reinterpret_cast<void **>(&a.entry_get_text)},
        {"gtk_entry_set_activates_default", reinterpret_cast<void **>(&a.entry_set_activates_default)},
        {"gtk_combo_box_new_text", reinterpret_cast<void **>(&a.combo_box_new_text)},
        {"gtk_combo_box_append_text", reinterpret_cast<void **>(&a.combo_box_append_text)},
        {"gtk_combo_box_set_active", reinterpret_cast<void **>(&a.combo_box_set_active)},
        {"gtk_combo_box_get_active", reinterpret_cast<void **>(&a.combo_box_get_active)},
        {"gtk_file_chooser_dialog_new", reinterpret_cast<void **>(&a.file_chooser_dialog_new)},
        {"gtk_file_chooser_set_current_folder", reinterpret_cast<void **>(&a.file_chooser_set_current_folder)},
        {"gtk_file_chooser_set_current_name", reinterpret_cast<void **>(&a.file_chooser_set_current_name)},
        {"gtk_file_chooser_set_select_multiple", reinterpret_cast<void **>(&a.file_chooser_set_select_multiple)},
        {"gtk_file_chooser_get_filename", reinterpret_cast<void **>(&a.file_chooser_get_filename)},
        {"gtk_file_chooser_get_filenames", reinterpret_cast<void **>(&a.file_chooser_get_filenames)},
        {"gtk_font_selection_dialog_new", reinterpret_cast<void **>(&a.font_selection_dialog_new)},
        {"gtk_font_selection_dialog_get_font_name", reinterpret_cast<void **>(&a.font_selection_dialog_get_font_name)},
        {"gtk_font_selection_dialog_set_font_name", reinterpret_cast<void **>(&a.font_selection_dialog_set_font_name)},
        {"gtk_color_selection_dialog_new", reinterpret_cast<void **>(&a.color_selection_dialog_new)},
        {"gtk_color_selection_dialog_get_color_selection",
         reinterpret_cast<void **>(&a.color_selection_dialog_get_color_selection)},
        {"gtk_color_selection_set_current_color", reinterpret_cast<void **>(&a.color_selection_set_current_color)},
        {"gtk_color_selection_get_current_color", reinterpret_cast<void **>(&a.color_selection_get_current_color)},
        {"gtk_events_pending", reinterpret_cast<void **>(&a.events_pending)},
        {"gtk_main_iteration", reinterpret_cast<void **>(&a.main_iteration)},
        {"g_free", reinterpret_cast<void **>(&a.g_free)},
        {"g_slist_free", reinterpret_cast<void **>(&a.g_slist_free)},
    };
    a.handle = OsLoadLibraryFunctions(names, fns, int(sizeof fns / sizeof fns[0]));
    if (!a.handle) return false;
    for (const cxLibFunction &f : fns)
        if (!*f.slot) return false;
    // The player's own locale stays: numbers keep their decimal point.
    a.disable_setlocale();
    if (!a.init_check(nullptr, nullptr)) return false;
    g_state = 1;
    return true;
}

// Runs a dialog and lets it vanish from the screen before returning.
int Run(W dialog) {
    g_gtk.widget_show_all(dialog);
    const int response = g_gtk.dialog_run(dialog);
    g_gtk.widget_destroy(dialog);
    while (g_gtk.events_pending()) g_gtk.main_iteration();
    return response;
}

W OkCancelDialog(const char *title, const char *body) {
    W dialog = g_gtk.message_dialog_new(nullptr, 1 /* modal */, 2 /* question */, 0 /* no buttons */, "%s",
                                        body ? body : "");
    g_gtk.window_set_title(dialog, title && *title ? title : "Calyxtone");
    g_gtk.dialog_add_button(dialog, "gtk-cancel", kResponseCancel);
    g_gtk.dialog_add_button(dialog, "gtk-ok", kResponseOk);
    g_gtk.dialog_set_default_response(dialog, kResponseOk);
    return dialog;
}

}  // namespace

void OsSetGtkDisabled(int disabled) { g_disabled = disabled != 0; }
int OsHasGtkRequesters(void) { return Ready() ? 1 : 0; }

int OsSystemRequest(const char *title, const char *body, const char *buttons, int icon, int *result) {
    if (!Ready()) return TerminalSystemRequest(title, body, buttons, result);
    static const int types[] = {0, 1, 2, 3, 0};
    W dialog = g_gtk.message_dialog_new(nullptr, 1, icon >= 0 && icon <= 4 ? types[icon] : 0, 0, "%s",
                                        body ? body : "");
    g_gtk.window_set_title(dialog, title && *title ? title : "Calyxtone");
    // Buttons answer 1, 2, ... and the last one 0, as the system numbers them.
    std::vector<std::string> choices;
    for (const char *p = buttons;;) {
        const char *bar = strchr(p, '|');
        choices.emplace_back(p, bar ? size_t(bar - p) : strlen(p));
        if (!bar) break;
        p = bar + 1;
    }
    for (size_t i = 0; i < choices.size(); ++i) {
        const int response = i + 1 == choices.size() ? 0 : int(i + 1);
        g_gtk.dialog_add_button(dialog, choices[i].c_str(), response);
    }
    g_gtk.dialog_set_default_response(dialog, choices.size() == 1 ? 0 : 1);
    const int response = Run(dialog);
    *result = response >= 0 && response < int(choices.size()) ? response : 0;
    return 0;
}

int OsFileRequest(const char *title, const char *, const char *path, const char *file, uint32_t flags, int mode,
                  std::string *answer) {
    answer->clear();
    if (!Ready()) {
        std::string start = path ? path : "";
        if (file && *file) start += (start.empty() || start.back() == '/' ? "" : "/") + std::string(file);
        std::string line;
        int found = 0;
        TerminalTextRequest(title, mode == 1 ? "File names (separated by blanks):" : "File name:", start.c_str(),
                            &line, &found);
        if (!found || line.empty()) return 0;
        if (mode != 1) {
            *answer = line;
            return 0;
        }
        for (const char *p = line.c_str(); *p;) {
            while (*p == ' ') ++p;
            const char *end = strchr(p, ' ');
            const size_t n = end ? size_t(end - p) : strlen(p);
            if (n) answer->append(p, n).push_back('\0');
            p += n;
        }
        answer->push_back('\0');
        return 0;
    }
    const int save = (flags & 1) != 0;
    W dialog = g_gtk.file_chooser_dialog_new(title, nullptr, save ? 1 : 0, "gtk-cancel", kResponseCancel,
                                             save ? "gtk-save" : "gtk-open", kResponseAccept, nullptr);
    g_gtk.dialog_set_default_response(dialog, kResponseAccept);
    if (path && *path) g_gtk.file_chooser_set_current_folder(dialog, path);
    if (save && file && *file) g_gtk.file_chooser_set_current_name(dialog, file);
    if (mode == 1) g_gtk.file_chooser_set_select_multiple(dialog, 1);
    g_gtk.widget_show_all(dialog);
    if (g_gtk.dialog_run(dialog) == kResponseAccept) {
        if (mode == 1) {
            auto *list = static_cast<GSListRec *>(g_gtk.file_chooser_get_filenames(dialog));
            for (GSListRec *n = list; n; n = n->next) {
                answer->append(static_cast<char *>(n->data)).push_back('\0');
                g_gtk.g_free(n->data);
            }
            if (list) answer->push_back('\0');
            g_gtk.g_slist_free(list);
        } else if (char *name = g_gtk.file_chooser_get_filename(dialog)) {
            *answer = name;
            g_gtk.g_free(name);
        }
    }
    g_gtk.widget_destroy(dialog);
    while (g_gtk.events_pending()) g_gtk.main_iteration();
    return 0;
}

int OsPathRequest(const char *title, const char *path, uint32_t, std::string *answer, int *found) {
    *found = 0;
    if (!Ready()) return TerminalTextRequest(title, "Folder:", path, answer, found);
    W dialog = g_gtk.file_chooser_dialog_new(title, nullptr, 2, "gtk-cancel", kResponseCancel, "gtk-open",
                                             kResponseAccept, nullptr);
    g_gtk.dialog_set_default_response(dialog, kResponseAccept);
    if (path && *path) g_gtk.file_chooser_set_current_folder(dialog, path);
    g_gtk.widget_show_all(dialog);
    if (g_gtk.dialog_run(dialog) == kResponseAccept)
        if (char *name = g_gtk.file_chooser_get_filename(dialog)) {
            *answer = name;
            *found = 1;
            g_gtk.g_free(name);
        }
    g_gtk.widget_destroy(dialog);
    while (g_gtk.events_pending()) g_gtk.main_iteration();
    return 0;
}

int OsStringRequest(const char *title, const char *body, const char *text, uint32_t, std::string *answer, int *found) {
    *found = 0;
    if (!Ready()) return TerminalTextRequest(title, body, text, answer, found);
    W dialog = OkCancelDialog(title, body);
    W entry = g_gtk.entry_new();
    g_gtk.entry_set_text(entry, text ? text : "");
    g_gtk.entry_set_activates_default(entry, 1);
    g_gtk.container_add(g_gtk.dialog_get_content_area(dialog), entry);
    g_gtk.widget_show_all(dialog);
    if (g_gtk.dialog_run(dialog) == kResponseOk) {
        *answer = g_gtk.entry_get_text(entry);
        *found = 1;
    }
    g_gtk.widget_destroy(dialog);
    while (g_gtk.events_pending()) g_gtk.main_iteration();
    return 0;
}

int OsListRequest(const char *title, const char *body, const std::vector<std::string> &entries, int preselected,
                  uint32_t, int *index) {
    *index = -1;
    if (!Ready()) return TerminalListRequest(title, body, entries, preselected, index);
    W dialog = OkCancelDialog(title, body);
    W combo = g_gtk.combo_box_new_text();
    for (const std::string &e : entries) g_gtk.combo_box_append_text(combo, e.c_str());
    g_gtk.combo_box_set_active(combo, preselected >= 0 ? preselected : 0);
    g_gtk.container_add(g_gtk.dialog_get_content_area(dialog), combo);
    g_gtk.widget_show_all(dialog);
    if (g_gtk.dialog_run(dialog) == kResponseOk) *index = g_gtk.combo_box_get_active(combo);
    g_gtk.widget_destroy(dialog);
    while (g_gtk.events_pending()) g_gtk.main_iteration();
    return 0;
}

int OsFontRequest(const char *title, const char *font, uint32_t, std::string *answer, int *found) {
    *found = 0;
    if (!Ready()) {
        std::string line;
        TerminalTextRequest(title, "Font name and size (name|size):", font, &line, found);
        if (*found) *answer = line + (strchr(line.c_str(), '|') ? "|0" : "|12|0");
        return 0;
    }
    W dialog = g_gtk.font_selection_dialog_new(title);
    if (font && *font) g_gtk.font_selection_dialog_set_font_name(dialog, font);
    g_gtk.widget_show_all(dialog);
    if (g_gtk.dialog_run(dialog) == kResponseOk)
        if (char *name = g_gtk.font_selection_dialog_get_font_name(dialog)) {
            // "Family Style Size": the size is the last word.
            std::string s = name;
            g_gtk.g_free(name);
            const size_t blank = s.find_last_of(' ');
            const std::string size = blank == std::string::npos ? "12" : s.substr(blank + 1);
            const std::string family = blank == std::string::npos ? s : s.substr(0, blank);
            *answer = family + "|" + size + "|0";
            *found = 1;
        }
    g_gtk.widget_destroy(dialog);
    while (g_gtk.events_pending()) g_gtk.main_iteration();
    return 0;
}

int OsColorRequest(const char *title, int32_t colour, int32_t *out) {
    *out = -1;
    if (!Ready()) {
        char start[16] = "";
        if (colour >= 0) snprintf(start, sizeof start, "%06X", unsigned(colour));
        std::string line;
        int found = 0;
        TerminalTextRequest(title, "Colour (RRGGBB):", start, &line, &found);
        *out = found && !line.empty() ? int32_t(strtoul(line.c_str(), nullptr, 16) & 0xFFFFFF) : -1;
        return 0;
    }
    W dialog = g_gtk.color_selection_dialog_new(title);
    W selection = g_gtk.color_selection_dialog_get_color_selection(dialog);
    if (colour >= 0) {
        GdkColorRec c{0, uint16_t(((colour >> 16) & 0xFF) * 257), uint16_t(((colour >> 8) & 0xFF) * 257),
                      uint16_t((colour & 0xFF) * 257)};
        g_gtk.color_selection_set_current_color(selection, &c);
    }
    g_gtk.widget_show_all(dialog);
    if (g_gtk.dialog_run(dialog) == kResponseOk) {
        GdkColorRec c{};
        g_gtk.color_selection_get_current_color(selection, &c);
        *out = int32_t((c.red >> 8) << 16 | (c.green >> 8) << 8 | (c.blue >> 8));
    }
    g_gtk.widget_destroy(dialog);
    while (g_gtk.events_pending()) g_gtk.main_iteration();
    return 0;
}
