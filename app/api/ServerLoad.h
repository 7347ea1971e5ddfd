#pragma once

#include <QString>

namespace korvel::api {

// Load class of a server location; the order is the sort order.
enum class ServerLoad { low, medium, high };

// The class named by a location's load text, compared after full Unicode lowercasing; never fails.
ServerLoad serverLoad(const QString& text);

} // namespace korvel::api
