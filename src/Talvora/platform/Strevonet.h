#pragma once
// The maker's cloud-platform SDK: an interactive sign-in that yields an access
// token. Implemented here by strevonet/ (a Qt dialog over HTTPS).

extern "C" {

// -1 on failure, any other value on success.
int Strevo_InitLib(const char* authHost, const char* apiHost, const char* appKey);
int Strevo_Init(const char* appKey);

// Runs the sign-in and returns when it is done. On success *token points to
// *tokenLength bytes (not NUL-terminated) owned by the library until
// Strevo_Data_Free; a length of 0 means the user cancelled. -1 on failure
// (for example a library that was not initialised).
int Strevo_Mid_Login(char** token, int* tokenLength);

int Strevo_Logout();
void Strevo_Data_Free(char* data);
int Strevo_FiniLib();

} // extern "C"
