#pragma once
// The login step of a run and its error handling. The login itself (RtApiClient::authenticate)
// and the logout (RtApiClient::deauthenticate) are members of the client objects.
#include "traffic/service_client.hpp"

// User error number of a missing service key.
inline constexpr int USER_ERROR_NO_SERVICE_KEY = 409;

// Logs in on weather and hands the session to traffic. A refused login ends the run: 405 (a
// second session) throws vald::UserErrorException 405 after 10 s, 500 throws std::runtime_error
// "No RT database connection", every other failure asks for a restart with READER ERROR in 15 s.
// A missing service key throws vald::UserErrorException USER_ERROR_NO_SERVICE_KEY at once.
void gf_runAuthenticater(WeatherReader& weather = weatherReader, TrafficReader& traffic = trafficReader);
