// The keyring library: SMTP passwords in the Secret Service (GNOME Keyring,
// KeePassXC, KWallet) under host, service "smtp" and user, the attributes
// other mail tools use. Every call runs on a private main context and gives
// up when its limit passes, so a service that never answers costs a run
// under 2 s, not D-Bus's 25 s.
#include <libsecret/secret.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "KeyringEntry.h"

namespace {

// A running service answers well within this; it bounds all of a call's
// steps together, so a service that stalls anywhere costs a run under 2 s.
constexpr int kAnswerMs = 1800;
constexpr int kPromptMs = 120000;  // a person types the keyring's password
constexpr int kWithinBudget = 0;   // no prompt: what is left of the call's budget

const SecretSchema* Schema() {
  // The schema's name is not matched: items that other tools or
  // secret-tool stored under the same attributes are found too.
  static const SecretSchema* schema =
      secret_schema_new("org.freedesktop.Secret.Generic", SECRET_SCHEMA_DONT_MATCH_NAME, "host",
                        SECRET_SCHEMA_ATTRIBUTE_STRING, "service", SECRET_SCHEMA_ATTRIBUTE_STRING,
                        "user", SECRET_SCHEMA_ATTRIBUTE_STRING, nullptr);
  return schema;
}

char* Copy(const std::string& text) { return ::strdup(text.c_str()); }

int Say(char** message, int status, const std::string& text) {
  *message = Copy(text);
  return status;
}

// A prompt needs somewhere to show itself.
bool HasDisplay() {
  const char* x11 = std::getenv("DISPLAY");              // NOLINT(concurrency-mt-unsafe)
  const char* wayland = std::getenv("WAYLAND_DISPLAY");  // NOLINT(concurrency-mt-unsafe)
  return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

struct Pending {
  GAsyncResult* result = nullptr;
};

void OnDone(GObject* /*source*/, GAsyncResult* result, gpointer data) {
  static_cast<Pending*>(data)->result = G_ASYNC_RESULT(g_object_ref(result));
}

// A main context of the call's own, the thread's default while the call runs,
// so the program's (or Qt's) loop never sees our callbacks.
class PrivateContext {
 public:
  PrivateContext() : context_(g_main_context_new()) {
    budgetEnd_ = g_get_monotonic_time() + static_cast<gint64>(kAnswerMs) * 1000;
    g_main_context_push_thread_default(context_);
  }
  ~PrivateContext() {
    g_main_context_pop_thread_default(context_);
    g_main_context_unref(context_);
  }
  PrivateContext(const PrivateContext&) = delete;
  PrivateContext& operator=(const PrivateContext&) = delete;

  // Starts an asynchronous call and waits for its result, within what is
  // left of the call's budget, or `promptMs` when a person may be asked;
  // nothing when the time passed. A call that does not honour the cancel
  // is left behind with its small record, which it may still write to.
  template <typename Start>
  GAsyncResult* Await(int promptMs, Start start) {
    auto* pending = new Pending;
    GCancellable* cancel = g_cancellable_new();
    start(cancel, &OnDone, pending);
    const gint64 deadline =
        promptMs > 0 ? g_get_monotonic_time() + static_cast<gint64>(promptMs) * 1000 : budgetEnd_;
    bool late = false;
    while (pending->result == nullptr) {
      const gint64 left = deadline - g_get_monotonic_time();
      if (left <= 0) {
        late = true;
        g_cancellable_cancel(cancel);
        while (g_main_context_iteration(context_, FALSE)) {
        }
        break;
      }
      GSource* timer = g_timeout_source_new(static_cast<guint>(left / 1000 + 1));
      g_source_set_callback(
          timer, +[](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr, nullptr);
      g_source_attach(timer, context_);
      g_main_context_iteration(context_, TRUE);
      g_source_destroy(timer);
      g_source_unref(timer);
    }
    g_object_unref(cancel);
    GAsyncResult* result = pending->result;
    if (result == nullptr) return nullptr;  // `pending` stays for the late callback
    delete pending;
    if (late) {
      g_object_unref(result);
      return nullptr;
    }
    return result;
  }

 private:
  GMainContext* context_;
  gint64 budgetEnd_ = 0;
};

std::string TakeError(GError* error) {
  std::string text = error != nullptr && error->message != nullptr ? error->message : "no reason";
  if (error != nullptr) g_error_free(error);
  return text;
}

// The service, or a status and message saying why there is none.
SecretService* Connect(PrivateContext& context, char** message, int& status) {
  GAsyncResult* result = context.Await(
      kWithinBudget, [](GCancellable* cancel, GAsyncReadyCallback done, gpointer data) {
        secret_service_get(SECRET_SERVICE_OPEN_SESSION, cancel, done, data);
      });
  status = KeyringEntry::kUnavailable;
  if (result == nullptr) {
    *message = Copy("The keyring (Secret Service) did not answer within 2 s.");
    return nullptr;
  }
  GError* error = nullptr;
  SecretService* service = secret_service_get_finish(result, &error);
  g_object_unref(result);
  if (service == nullptr)
    *message = Copy("No keyring (Secret Service) answers: " + TakeError(error) + ".");
  return service;
}

GHashTable* Attributes(const char* host, const char* user) {
  GHashTable* table = g_hash_table_new(g_str_hash, g_str_equal);
  g_hash_table_insert(table, const_cast<char*>("host"), const_cast<char*>(host));
  g_hash_table_insert(table, const_cast<char*>("service"), const_cast<char*>("smtp"));
  g_hash_table_insert(table, const_cast<char*>("user"), const_cast<char*>(user));
  return table;
}

std::string Who(const char* host, const char* user) { return std::string(user) + "@" + host; }

// Unlocks `item`, which needs a person at a display; false with the message set.
bool Unlock(PrivateContext& context, SecretService* service, SecretItem* item, const char* host,
            const char* user, char** message) {
  if (!HasDisplay()) {
    *message = Copy("The keyring that holds the password for " + Who(host, user) +
                    " is locked, and there is no display to unlock it on. Unlock it (log in to "
                    "the desktop) and try again.");
    return false;
  }
  GList* items = g_list_append(nullptr, item);
  GAsyncResult* result =
      context.Await(kPromptMs, [&](GCancellable* cancel, GAsyncReadyCallback done, gpointer data) {
        secret_service_unlock(service, items, cancel, done, data);
      });
  g_list_free(items);
  if (result == nullptr) {
    *message = Copy("The keyring was not unlocked within two minutes.");
    return false;
  }
  GError* error = nullptr;
  const gint count = secret_service_unlock_finish(service, result, nullptr, &error);
  g_object_unref(result);
  if (count > 0) return true;
  *message = Copy("The keyring was not unlocked" +
                  (error != nullptr ? ": " + TakeError(error) + "." : std::string(".")));
  return false;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int TarnwickKeyringLookup(const char* host, const char* user,
                                                                 char** secret, char** message) {
  *secret = nullptr;
  *message = nullptr;
  PrivateContext context;
  int status = 0;
  SecretService* service = Connect(context, message, status);
  if (service == nullptr) return status;
  GHashTable* attributes = Attributes(host, user);
  GAsyncResult* result = context.Await(
      kWithinBudget, [&](GCancellable* cancel, GAsyncReadyCallback done, gpointer data) {
        secret_service_search(service, Schema(), attributes, SECRET_SEARCH_ALL, cancel, done, data);
      });
  g_hash_table_unref(attributes);
  if (result == nullptr) {
    g_object_unref(service);
    return Say(message, KeyringEntry::kUnavailable,
               "The keyring (Secret Service) did not answer a search within 2 s.");
  }
  GError* error = nullptr;
  GList* items = secret_service_search_finish(service, result, &error);
  g_object_unref(result);
  if (items == nullptr) {
    g_object_unref(service);
    if (error != nullptr)
      return Say(message, KeyringEntry::kUnavailable,
                 "The keyring could not be searched: " + TakeError(error) + ".");
    return KeyringEntry::kNotFound;
  }
  // An unlocked item needs no prompt; take one if there is one.
  SecretItem* item = static_cast<SecretItem*>(items->data);
  for (GList* at = items; at != nullptr; at = at->next) {
    if (!secret_item_get_locked(static_cast<SecretItem*>(at->data))) {
      item = static_cast<SecretItem*>(at->data);
      break;
    }
  }
  int outcome = KeyringEntry::kUnavailable;
  if (!secret_item_get_locked(item) || Unlock(context, service, item, host, user, message)) {
    result = context.Await(kWithinBudget,
                           [&](GCancellable* cancel, GAsyncReadyCallback done, gpointer data) {
                             secret_item_load_secret(item, cancel, done, data);
                           });
    if (result == nullptr) {
      *message = Copy("The keyring did not hand over the password within 2 s.");
    } else {
      const gboolean loaded = secret_item_load_secret_finish(item, result, &error);
      g_object_unref(result);
      SecretValue* value = loaded ? secret_item_get_secret(item) : nullptr;
      const gchar* text = value != nullptr ? secret_value_get_text(value) : nullptr;
      if (text != nullptr) {
        *secret = ::strdup(text);
        outcome = KeyringEntry::kFound;
      } else {
        outcome = KeyringEntry::kFailed;
        *message =
            Copy(error != nullptr
                     ? "The keyring did not hand over the password: " + TakeError(error) + "."
                     : "The keyring's item for " + Who(host, user) + " holds no text password.");
      }
      if (value != nullptr) secret_value_unref(value);
    }
  }
  g_list_free_full(items, g_object_unref);
  g_object_unref(service);
  return outcome;
}

__attribute__((visibility("default"))) int TarnwickKeyringStore(const char* host, const char* user,
                                                                const char* label,
                                                                const char* secret,
                                                                char** message) {
  *message = nullptr;
  PrivateContext context;
  int status = 0;
  SecretService* service = Connect(context, message, status);
  if (service == nullptr) return status;
  GHashTable* attributes = Attributes(host, user);
  const bool removing = *secret == '\0';
  SecretValue* value = removing ? nullptr : secret_value_new(secret, -1, "text/plain");
  // Storing may ask a person to make or unlock the keyring first.
  const int limit = HasDisplay() ? kPromptMs : kWithinBudget;
  GAsyncResult* result =
      context.Await(limit, [&](GCancellable* cancel, GAsyncReadyCallback done, gpointer data) {
        if (removing) {
          secret_service_clear(service, Schema(), attributes, cancel, done, data);
        } else {
          secret_service_store(service, Schema(), attributes, SECRET_COLLECTION_DEFAULT, label,
                               value, cancel, done, data);
        }
      });
  g_hash_table_unref(attributes);
  if (value != nullptr) secret_value_unref(value);
  int outcome = KeyringEntry::kFound;
  if (result == nullptr) {
    outcome = Say(message, KeyringEntry::kUnavailable,
                  "The keyring did not take the password in time; it may be locked.");
  } else {
    GError* error = nullptr;
    if (removing) {
      (void)secret_service_clear_finish(service, result, &error);
    } else {
      (void)secret_service_store_finish(service, result, &error);
    }
    g_object_unref(result);
    if (error != nullptr)
      outcome = Say(message, KeyringEntry::kUnavailable,
                    "The keyring did not take the password: " + TakeError(error) + ".");
  }
  g_object_unref(service);
  return outcome;
}

__attribute__((visibility("default"))) int TarnwickKeyringPing(char** message) {
  *message = nullptr;
  PrivateContext context;
  int status = 0;
  SecretService* service = Connect(context, message, status);
  if (service == nullptr) return status;
  g_object_unref(service);
  return KeyringEntry::kFound;
}

__attribute__((visibility("default"))) void TarnwickKeyringFree(char* text) {
  if (text == nullptr) return;
  ::explicit_bzero(text, std::strlen(text));
  std::free(text);  // NOLINT(cppcoreguidelines-no-malloc): strdup's
}

}  // extern "C"
