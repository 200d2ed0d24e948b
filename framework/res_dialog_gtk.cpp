// The display-mode dialog in GTK 3, laid out like its Windows resource: every
// control sits at its dialog-unit rectangle, all inside one fixed container,
// the group boxes being frames drawn behind the controls they enclose exactly
// as on Windows.
//
// Dialog units are converted as Windows converts them, through base units
// measured on the dialog's font: a quarter of the average letter width across,
// an eighth of the line height down. The font is the desktop's own, so a
// person who enlarged theirs gets a larger dialog. Fonts differ in shape as
// well as size, and the resource's rectangles were drawn for a narrow one: when
// a text would not fit its rectangle, the base units grow together, in small
// steps, until every text fits, so the dialog keeps its proportions.
//
// Enter confirms (the default button), Escape, Cancel and the close box
// cancel. With TESSARO_DIALOG_DUMP set, the dialog prints its base units (in
// use and the font's) and its controls (kind, text, pixel rectangle, state) on standard output once it
// is on screen, so a test can read what a person would see.
#include "framework/lumora_local_sdl.h"

#include <gtk/gtk.h>

#include <cassert>
#include <cstdio>  // printf, fprintf
#include <cstdlib> // getenv
#include <string>

namespace {

const char kCaption[] = "Velta Engine Beta 0.1 - Orvane Team";
const char kCredits[] = "Engine, code and art\nby the Orvane Team";
const char kNote[] =
    "Please help us testing our 3d Engine.\nMail us about bugs, frame rate, and your suggestions.";
const char kContact[] = "orvane@example.org";
const char kWebAddress[] = "http://www.example.org/orvane";

// Pixels per 4 horizontal and per 8 vertical dialog units.
struct BaseUnits {
    int x;
    int y;
};

// A control's rectangle in dialog units, as the resource gives it.
struct DuRect {
    int x;
    int y;
    int w;
    int h;
};

int DuX(const BaseUnits units, const int du) {
    return (du * units.x + 2) / 4;
}
int DuY(const BaseUnits units, const int du) {
    return (du * units.y + 4) / 8;
}

constexpr int kDialogWidthDu = 228;
constexpr int kDialogHeightDu = 206;
// Height of the closed drop-down list; the resource gives the open list's.
constexpr int kComboClosedHeightDu = 14;
// Base units grow by sixteenths of the font's, up to twice them.
constexpr int kGrowthSteps = 16;
// The link font is 19 pixels high for a dialog font whose line is 13 pixels
// high; Pango's size is the em, about four fifths of that.
constexpr int kLinkEmPixels = 15;
constexpr int kReferenceLineHeight = 13;
constexpr int kControlCount = 12;

// Scoped to the dialog by its name: the error boxes keep GTK's look.
const char kDialogName[] = "lumora-display-mode";
const char kStyle[] =
    "#lumora-display-mode combobox button { padding-top: 0; padding-bottom: 0; min-height: 0; }\n"
    "#lumora-display-mode checkbutton { padding: 0; min-height: 0; }\n"
    "#lumora-display-mode button { padding: 0; min-height: 0; }\n";

// One control of the resource and the widget that stands for it.
struct Control {
    GtkWidget* widget;
    DuRect rect;
    const char* kind;
};

struct DialogState {
    GMainLoop* loop;
    GtkWidget* window;
    GtkWidget* fixed;
    GtkWidget* combo;
    GtkWidget* playSounds;
    GtkWidget* fullscreen;
    GtkWidget* logo;
    GtkWidget* link;
    Control controls[kControlCount];
    int controlCount;
    BaseUnits fontUnits; // measured on the font
    BaseUnits units;     // in use, grown from fontUnits until every text fits
    int result;
    bool finished;
    ResDialogChoice choice;
};

void Finish(DialogState* state, const int result) {
    if (state->finished) {
        return;
    }
    state->finished = true;
    state->result = result;
    if (result == 0) {
        state->choice.index = gtk_combo_box_get_active(GTK_COMBO_BOX(state->combo));
        state->choice.fullscreen =
            gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(state->fullscreen)) != FALSE;
        state->choice.playSounds =
            gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(state->playSounds)) != FALSE;
    }
    g_main_loop_quit(state->loop);
}

void OnConfirm(GtkButton* button, gpointer user) {
    (void)button;
    Finish(static_cast<DialogState*>(user), 0);
}

gboolean OnDelete(GtkWidget* widget, GdkEvent* event, gpointer user) {
    (void)widget;
    (void)event;
    Finish(static_cast<DialogState*>(user), -1);
    return TRUE;
}

gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer user) {
    (void)widget;
    DialogState* state = static_cast<DialogState*>(user);
    switch (event->keyval) {
    case GDK_KEY_Escape:
        Finish(state, -1);
        return TRUE;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
        Finish(state, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

// Puts the widget in the dialog; its place and size come once the base units are known.
void Add(DialogState& state, GtkWidget* widget, const DuRect rect, const char* kind) {
    assert(state.controlCount < kControlCount);
    g_object_set_data(G_OBJECT(widget), "lumora-kind", const_cast<char*>(kind));
    gtk_fixed_put(GTK_FIXED(state.fixed), widget, 0, 0);
    state.controls[state.controlCount] = Control{widget, rect, kind};
    state.controlCount += 1;
}

GtkWidget* StaticText(const char* text, const float xalign, const float yalign) {
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(label), xalign);
    gtk_label_set_yalign(GTK_LABEL(label), yalign);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_LEFT);
    // Wrapped text takes the width of its rectangle, not that of its longest line.
    gtk_label_set_max_width_chars(GTK_LABEL(label), 1);
    return label;
}

// The logo: a blue band with the engine's name, drawn here rather than stored.
GdkPixbuf* CreateLogo(const int width, const int height) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_pattern_t* band = cairo_pattern_create_linear(0, 0, width, height);
    cairo_pattern_add_color_stop_rgb(band, 0.0, 0.05, 0.10, 0.30);
    cairo_pattern_add_color_stop_rgb(band, 1.0, 0.20, 0.55, 0.90);
    cairo_set_source(cr, band);
    cairo_paint(cr);
    cairo_pattern_destroy(band);

    // A row of small tilted squares along the band's foot.
    cairo_set_source_rgba(cr, 1.0, 1.0, 1.0, 0.25);
    for (int x = 6; x < width; x += 14) {
        cairo_save(cr);
        cairo_translate(cr, x, height - 8);
        cairo_rotate(cr, G_PI / 4.0);
        cairo_rectangle(cr, -3, -3, 6, 6);
        cairo_fill(cr);
        cairo_restore(cr);
    }

    cairo_select_font_face(cr, "Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, height * 0.42);
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_move_to(cr, width * 0.06, height * 0.55);
    cairo_show_text(cr, "VELTA ENGINE");
    cairo_select_font_face(cr, "Sans", CAIRO_FONT_SLANT_ITALIC, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, height * 0.18);
    cairo_set_source_rgb(cr, 0.85, 0.92, 1.0);
    cairo_move_to(cr, width * 0.62, height * 0.78);
    cairo_show_text(cr, "beta 0.1");
    cairo_destroy(cr);
    cairo_surface_flush(surface);

    GdkPixbuf* pixbuf = gdk_pixbuf_get_from_surface(surface, 0, 0, width, height);
    cairo_surface_destroy(surface);
    return pixbuf;
}

GdkPixbuf* CreateIcon() {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, kIconSize, kIconSize);
    if (pixbuf == nullptr) {
        return nullptr;
    }
    const int stride = gdk_pixbuf_get_rowstride(pixbuf);
    guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
    static unsigned char icon[kIconSize * kIconSize * 4];
    DrawIconPixels(icon, kIconSize);
    for (int row = 0; row < kIconSize; ++row) {
        for (int i = 0; i < kIconSize * 4; ++i) {
            pixels[row * stride + i] = icon[row * kIconSize * 4 + i];
        }
    }
    return pixbuf;
}

std::string Escaped(const char* text) {
    std::string out;
    for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
        if (*p == '\n') {
            out += "\\n";
        } else {
            out += *p;
        }
    }
    return out;
}

void DumpChild(GtkWidget* widget, gpointer user) {
    (void)user;
    const char* kind = static_cast<const char*>(g_object_get_data(G_OBJECT(widget), "lumora-kind"));
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    std::string text;
    std::string state;
    if (GTK_IS_FRAME(widget)) {
        const char* label = gtk_frame_get_label(GTK_FRAME(widget));
        text = label != nullptr ? label : "";
    } else if (GTK_IS_LABEL(widget)) {
        text = gtk_label_get_text(GTK_LABEL(widget));
    } else if (GTK_IS_CHECK_BUTTON(widget)) {
        text = gtk_button_get_label(GTK_BUTTON(widget));
        state = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget)) ? "checked" : "unchecked";
    } else if (GTK_IS_BUTTON(widget)) {
        text = gtk_button_get_label(GTK_BUTTON(widget));
        state = gtk_widget_has_default(widget) ? "default" : "";
    } else if (GTK_IS_COMBO_BOX(widget)) {
        GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(widget));
        GtkTreeIter iter;
        int index = 0;
        for (gboolean ok = gtk_tree_model_get_iter_first(model, &iter); ok;
             ok = gtk_tree_model_iter_next(model, &iter)) {
            gchar* item = nullptr;
            gtk_tree_model_get(model, &iter, 0, &item, -1);
            std::printf("item|%s|%d\n", item != nullptr ? item : "", index);
            g_free(item);
            ++index;
        }
        state = "selected=" + std::to_string(gtk_combo_box_get_active(GTK_COMBO_BOX(widget)));
    }
    std::printf("%s|%s|%d,%d,%d,%d|%s\n", kind != nullptr ? kind : "widget", Escaped(text.c_str()).c_str(),
                a.x, a.y, a.width, a.height, state.c_str());
}

gboolean DumpWidgets(gpointer user) {
    DialogState* state = static_cast<DialogState*>(user);
    int width = 0;
    int height = 0;
    gtk_window_get_size(GTK_WINDOW(state->window), &width, &height);
    std::printf("dialog|%s|%d,%d\n", gtk_window_get_title(GTK_WINDOW(state->window)), width, height);
    std::printf("units|%d|%d|font %d,%d\n", state->units.x, state->units.y, state->fontUnits.x,
                state->fontUnits.y);
    gtk_container_foreach(GTK_CONTAINER(state->fixed), DumpChild, nullptr);
    std::printf("dialog-ready\n");
    std::fflush(stdout);
    return G_SOURCE_REMOVE;
}

gboolean OnMapped(GtkWidget* widget, GdkEvent* event, gpointer user) {
    (void)widget;
    (void)event;
    const char* dump = std::getenv("TESSARO_DIALOG_DUMP");
    if (dump != nullptr && dump[0] != '\0') {
        g_idle_add(DumpWidgets, user);
    }
    return FALSE;
}

void AddStyle(GtkWidget* window) {
    static bool s_added = false;
    if (s_added) {
        return;
    }
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, kStyle, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(window), GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
    s_added = true;
}

void BuildControls(DialogState& state) {
    state.logo = gtk_image_new();
    Add(state, state.logo, DuRect{7, 7, 213, 43}, "image");

    // Group boxes first, so that the controls they frame are drawn over them.
    Add(state, gtk_frame_new("Setting "), DuRect{7, 55, 213, 55}, "group");
    Add(state, gtk_frame_new("Orvane Team "), DuRect{7, 115, 105, 32}, "group");
    Add(state, gtk_frame_new("Note : "), DuRect{115, 115, 105, 58}, "group");

    Add(state, StaticText("Resolution :", 0.0f, 0.0f), DuRect{17, 65, 48, 8}, "static");

    state.combo = gtk_combo_box_text_new();
    for (const DisplayModeEntry& mode : kDisplayModes) {
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(state.combo), mode.text);
    }
    gtk_combo_box_set_active(GTK_COMBO_BOX(state.combo), kDefaultModeIndex);
    Add(state, state.combo, DuRect{17, 76, 192, kComboClosedHeightDu}, "combo");

    state.playSounds = gtk_check_button_new_with_label("Play Sounds");
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(state.playSounds), FALSE);
    Add(state, state.playSounds, DuRect{19, 95, 55, 10}, "check");

    state.fullscreen = gtk_check_button_new_with_label("FullScreen Mode");
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(state.fullscreen), TRUE);
    Add(state, state.fullscreen, DuRect{119, 95, 69, 10}, "check");

    Add(state, StaticText(kCredits, 0.0f, 0.0f), DuRect{13, 125, 82, 19}, "static");
    const std::string note = std::string(kNote) + "\n" + kContact;
    Add(state, StaticText(note.c_str(), 0.0f, 0.0f), DuRect{121, 128, 92, 42}, "static");

    GtkWidget* ok = gtk_button_new_with_label("Enter iperspace");
    gtk_widget_set_can_default(ok, TRUE);
    g_signal_connect(ok, "clicked", G_CALLBACK(OnConfirm), &state);
    Add(state, ok, DuRect{7, 152, 104, 21}, "button");

    state.link = gtk_label_new(kWebAddress);
    gtk_label_set_xalign(GTK_LABEL(state.link), 0.5f);
    gtk_label_set_yalign(GTK_LABEL(state.link), 0.5f);
    Add(state, state.link, DuRect{7, 177, 213, 20}, "link");

    gtk_window_set_default(GTK_WINDOW(state.window), ok);
    gtk_widget_grab_focus(ok);
}

// The link font: underlined Times at the resource's height, in proportion to the dialog font.
void SetLinkFont(GtkWidget* link, const BaseUnits units) {
    const int em = (kLinkEmPixels * units.y + kReferenceLineHeight / 2) / kReferenceLineHeight;
    PangoAttrList* attrs = pango_attr_list_new();
    pango_attr_list_insert(attrs, pango_attr_family_new("Times New Roman"));
    pango_attr_list_insert(attrs, pango_attr_size_new_absolute((em > 0 ? em : 1) * PANGO_SCALE));
    pango_attr_list_insert(attrs, pango_attr_weight_new(PANGO_WEIGHT_NORMAL));
    pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    gtk_label_set_attributes(GTK_LABEL(link), attrs);
    pango_attr_list_unref(attrs);
}

// Base units of the dialog's font, as Windows takes them: the average width
// of the 52 letters, rounded, and the height of a line.
BaseUnits FontBaseUnits(GtkWidget* window) {
    PangoLayout* layout =
        gtk_widget_create_pango_layout(window, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    int width = 0;
    int height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    g_object_unref(layout);
    const BaseUnits units{(width / 26 + 1) / 2, height};
    return BaseUnits{units.x > 0 ? units.x : 1, units.y > 0 ? units.y : 1};
}

// Gives every control its place and size for the base units.
void PlaceControls(DialogState& state, const BaseUnits units) {
    for (int i = 0; i < state.controlCount; ++i) {
        const Control& c = state.controls[i];
        gtk_widget_set_size_request(c.widget, DuX(units, c.rect.w), DuY(units, c.rect.h));
        gtk_fixed_move(GTK_FIXED(state.fixed), c.widget, DuX(units, c.rect.x), DuY(units, c.rect.y));
    }
    SetLinkFont(state.link, units);
    gtk_widget_set_size_request(state.fixed, DuX(units, kDialogWidthDu), DuY(units, kDialogHeightDu));
    state.units = units;
}

// True when the control's content needs no more than its rectangle. A size
// request only ever raises what a widget asks for, so asking more than the
// rectangle means the content is larger.
bool Fits(const Control& c, const BaseUnits units) {
    const int width = DuX(units, c.rect.w);
    const int height = DuY(units, c.rect.h);
    int minimumWidth = 0;
    int minimumHeight = 0;
    gtk_widget_get_preferred_width(c.widget, &minimumWidth, nullptr);
    gtk_widget_get_preferred_height_for_width(c.widget, width, &minimumHeight, nullptr);
    return minimumWidth <= width && minimumHeight <= height;
}

// Places the controls at the smallest base units, from the font's own up,
// at which every control's text fits its rectangle.
void LayOut(DialogState& state) {
    const BaseUnits font = FontBaseUnits(state.window);
    state.fontUnits = font;
    for (int step = 0; step <= kGrowthSteps; ++step) {
        const BaseUnits units{(font.x * (kGrowthSteps + step) + kGrowthSteps / 2) / kGrowthSteps,
                              (font.y * (kGrowthSteps + step) + kGrowthSteps / 2) / kGrowthSteps};
        PlaceControls(state, units);
        bool allFit = true;
        for (int i = 0; i < state.controlCount && allFit; ++i) {
            // The logo is drawn at whatever size its rectangle has.
            allFit = state.controls[i].widget == state.logo || Fits(state.controls[i], units);
        }
        if (allFit) {
            break;
        }
    }
    GdkPixbuf* logo = CreateLogo(DuX(state.units, 213), DuY(state.units, 43));
    gtk_image_set_from_pixbuf(GTK_IMAGE(state.logo), logo);
    if (logo != nullptr) {
        g_object_unref(logo);
    }
}

// Says on standard error why the dialog cannot appear; the caller only learns
// that it was not confirmed.
void ReportNoDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const std::string where =
        x11 != nullptr && x11[0] != '\0' ? std::string(" (cannot open ") + x11 + ")" : "";
    std::fprintf(stderr,
                 "lumora: no display was found%s, so the display-mode dialog cannot be shown; "
                 "to render the show off screen, run the player with --capture DIR\n",
                 where.c_str());
    std::fflush(stderr);
}

} // namespace

bool StartGtk() {
    static int started = -1;
    if (started < 0) {
        // The program's number formatting must not follow the desktop's locale.
        gtk_disable_setlocale();
        started = gtk_init_check(nullptr, nullptr) ? 1 : 0;
    }
    return started == 1;
}

void FlushGtk() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    GdkDisplay* display = gdk_display_get_default();
    if (display != nullptr) {
        gdk_display_sync(display);
    }
}

int RunResDialog(ResDialogChoice* choice) {
    if (choice == nullptr) {
        return -1;
    }
    if (!StartGtk()) {
        ReportNoDisplay();
        return -1;
    }
    DialogState state{};
    state.result = -1;
    state.choice = ResDialogChoice{kDefaultModeIndex, true, false};
    state.loop = g_main_loop_new(nullptr, FALSE);
    state.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(state.window), kCaption);
    gtk_window_set_resizable(GTK_WINDOW(state.window), FALSE);
    gtk_window_set_modal(GTK_WINDOW(state.window), TRUE);
    gtk_window_set_type_hint(GTK_WINDOW(state.window), GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_widget_set_name(state.window, kDialogName);
    GdkPixbuf* icon = CreateIcon();
    if (icon != nullptr) {
        gtk_window_set_icon(GTK_WINDOW(state.window), icon);
        g_object_unref(icon);
    }
    AddStyle(state.window);

    state.fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(state.window), state.fixed);
    BuildControls(state);
    // GTK measures visible widgets only; the window itself stays hidden until laid out.
    gtk_widget_show_all(state.fixed);
    LayOut(state);

    g_signal_connect(state.window, "delete-event", G_CALLBACK(OnDelete), &state);
    g_signal_connect(state.window, "key-press-event", G_CALLBACK(OnKeyPress), &state);
    g_signal_connect(state.window, "map-event", G_CALLBACK(OnMapped), &state);

    // Centred on the desktop: integer halves of what is left around it.
    GdkRectangle desktop{0, 0, 0, 0};
    GdkMonitor* monitor = gdk_display_get_primary_monitor(gdk_display_get_default());
    if (monitor == nullptr) {
        monitor = gdk_display_get_monitor(gdk_display_get_default(), 0);
    }
    if (monitor != nullptr) {
        gdk_monitor_get_geometry(monitor, &desktop);
    }
    gtk_window_move(GTK_WINDOW(state.window),
                    desktop.x + (desktop.width - DuX(state.units, kDialogWidthDu)) / 2,
                    desktop.y + (desktop.height - DuY(state.units, kDialogHeightDu)) / 2);

    gtk_widget_show_all(state.window);
    gtk_window_present(GTK_WINDOW(state.window));
    g_main_loop_run(state.loop);

    gtk_widget_destroy(state.window);
    g_main_loop_unref(state.loop);
    FlushGtk();
    if (state.result == 0) {
        *choice = state.choice;
    }
    return state.result;
}
