#pragma once
// tarnwick -login: signs in the way the settings' OAuthGrant says (a code
// shown for another device, the browser with a loopback redirect or a
// pasted address, or the client's own credentials), keeps the tokens, and
// says who is signed in, until when, with which scopes.
namespace OAuthLogin {

// The whole sign-in on the console; its exit status.
int Run();

}  // namespace OAuthLogin
