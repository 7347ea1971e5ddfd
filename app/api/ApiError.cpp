#include "ApiError.h"

namespace korvel::api {

ApiError::ApiError(QString message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}

} // namespace korvel::api
