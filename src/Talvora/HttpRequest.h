#pragma once
// Blocking client of the conferencing REST API. Each call creates its own
// KelpNetUtils handle, sends one URL and destroys the handle before it
// returns. Create, update and delete report failures in an error box; list,
// user query and user rename only log them and leave the message to their
// callers.

#include <string>

bool CreateMeeting(std::string zcode, std::string topic, std::string noVideo, std::string startTime,
                   std::string duration, std::string* meetingId);
bool UpdateMeeting(std::string zcode, std::string meetingId, std::string topic, std::string startTime,
                   std::string duration, std::string noVideo);
bool DeleteMeeting(std::string zcode, std::string meetingId);
// On success the answer text replaces *answer; on failure *answer is unchanged.
bool ListMeetings(std::string zcode, std::string* answer);
bool GetUser(std::string loginName, std::string* answer);
bool UpdateUserName(std::string zcode, std::string userName, std::string* answer);
