#include "ServerSetup.h"

#include "RequestLog.h"
#include "Text.h"

#include <httplib.h>

#include <exception>
#include <utility>

namespace devservice {
namespace {

std::string describe(const std::exception_ptr& error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
    }
    return "unknown exception";
}

} // namespace

void configureServer(httplib::Server& server, std::function<void(const std::string&)> log)
{
    server.set_read_timeout(kReadTimeoutSeconds, 0);
    server.set_keep_alive_timeout(kKeepAliveSeconds);
    server.set_keep_alive_max_count(kKeepAliveRequests);
    server.set_payload_max_length(kMaxPayloadBytes);

    server.set_logger([log](const httplib::Request& request, const httplib::Response& response) {
        log(requestLine(request.remote_addr, request.method, request.path, request.params, response.status,
                        response.body.size()));
    });
    server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty())
            return;
        const char* message = response.status == 404   ? "no such route"
                              : response.status >= 500 ? "internal error"
                                                       : "bad request";
        answerError(response, response.status, response.status, message);
    });
    // Without a handler the library answers 500 with the exception's text in
    // a response header. The details belong in the service's log only, and
    // whatever the handler had set before it threw is dropped.
    server.set_exception_handler(
        [log](const httplib::Request& request, httplib::Response& response, std::exception_ptr error) {
            log(exceptionLine(request.method, request.path, describe(error)));
            const std::string version = response.version;
            response = httplib::Response();
            response.version = version;
            response.status = 500;
            response.set_content("{\"error\":\"internal\"}", "application/json");
        });
}

} // namespace devservice
