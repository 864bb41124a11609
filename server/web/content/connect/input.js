// Mouse, wheel and keyboard as the host's input tokens, one token per
// data-channel message. Keys go as Windows virtual-key codes (a browser's
// keyCode is that code for the keys of a US layout); a character no key code
// can say (é, ß, Cyrillic...) goes as "c" + the character, which the host types
// as a Unicode character.

export const BUTTON_DOWN = ["L", "M", "R"];
export const BUTTON_UP = ["l", "m", "r"];

// One wheel notch is 120, positive away from the user; browsers report
// about 100 pixels per notch, positive towards the user.
export function wheelToken(deltaY, deltaMode) {
  if (!deltaY) return null;
  const perNotch = deltaMode === 1 ? 3 : deltaMode === 2 ? 1 : 100;
  const notches = Math.max(1, Math.round(Math.abs(deltaY) / perNotch));
  return "W" + (deltaY < 0 ? 120 * notches : -120 * notches);
}

// What a key press sends: a "c" token for a typed character outside ASCII
// without Ctrl or Alt, else the key code; null for keys with no code.
export function keyDownToken(event) {
  const typed = event.key && [...event.key].length === 1 ? event.key : null;
  if (typed && typed.codePointAt(0) > 127 && !event.ctrlKey && !event.altKey) return { token: "c" + typed, typed: true };
  const code = event.keyCode;
  if (!code || code === 229) return null;  // 229: the input method is composing
  return { token: "K" + code, code, typed: false };
}

// Names of the host's cursor codes (1-14) as CSS cursors.
const CURSORS = ["default", "default", "text", "wait", "crosshair", "n-resize", "nwse-resize", "nesw-resize",
  "ew-resize", "ns-resize", "move", "not-allowed", "pointer", "progress", "help"];

export function cursorForCode(code) {
  return CURSORS[code] ?? "default";
}
