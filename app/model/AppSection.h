#pragma once

namespace korvel::model {

// The sections of the main shell, in the order of its navigation.
enum class AppSection { connect, locations, settings };

} // namespace korvel::model
