// The modal message box in GTK, inside the program's own process.
//
// A box shown by a helper process outlives a player that is killed while
// the box is up: the helper keeps the player's standard output open and a
// script reading it never sees the end. In process, the box goes with the
// program, and GTK is already there for the display-mode dialog.
#include "framework/lumora_local_sdl.h"

#include <gtk/gtk.h>

namespace {

// The label GtkMessageDialog shows the text in: the first one in its message area.
GtkLabel* MessageLabel(GtkWidget* dialog) {
    GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
    GList* children = gtk_container_get_children(GTK_CONTAINER(area));
    GtkLabel* label = nullptr;
    for (GList* child = children; child != nullptr && label == nullptr; child = child->next) {
        if (GTK_IS_LABEL(child->data)) {
            label = GTK_LABEL(child->data);
        }
    }
    g_list_free(children);
    return label;
}

} // namespace

bool ShowGtkMessageBox(const char* caption, const char* text) {
    if (!StartGtk()) {
        return false;
    }
    GtkWidget* dialog =
        gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s", text);
    gtk_window_set_title(GTK_WINDOW(dialog), caption);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
    // The text arrives with its lines already broken; GTK must not break them again.
    GtkLabel* label = MessageLabel(dialog);
    if (label != nullptr) {
        gtk_label_set_line_wrap(label, FALSE);
        gtk_label_set_max_width_chars(label, -1);
    }
    // Enter presses OK; Escape closes the box, which gtk_dialog_run also returns on.
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    GtkWidget* ok = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    if (ok != nullptr) {
        gtk_widget_grab_focus(ok);
    }
    gtk_window_present(GTK_WINDOW(dialog));
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    FlushGtk();
    return true;
}
