// Type declarations of the Hostlink add-on: the six exported functions and the proxy
// objects through which a plug-in drives the host's scripting model.

/**
 * A value that travels to the host as an argument of a proxy method: booleans,
 * numbers (whole numbers in the 32-bit range as integers, others as doubles),
 * strings, proxy objects (as references to their host object) and objects or
 * arrays with at least one enumerable property (as tables). `null`, `undefined`,
 * empty objects and arrays, symbols and bigints are rejected.
 */
export type HostArgument =
  | boolean
  | number
  | string
  | ProxyObject
  | HostArgument[]
  | { [key: string]: HostArgument };

/**
 * A value returned by the host: a boolean, number or string, an array (a list
 * table), a plain object (a table) or a new proxy object; `undefined` when the
 * host function returned nothing.
 */
export type HostResult =
  | undefined
  | boolean
  | number
  | string
  | ProxyObject
  | HostResult[]
  | { [key: string]: HostResult };

/**
 * A host object seen from JavaScript. Its class is named after the host object's
 * kind and has one method per host function; each call sends a request to the host,
 * blocks until the answer arrives (up to the API timeout) and returns the converted
 * result, or throws an `Error` whose message starts with the function's name.
 * Proxy objects have no enumerable properties.
 */
export interface ProxyObject {
  /** The host's second identifier of this object; present only when not empty. Read-only. */
  readonly uniqueId?: string;
  /** Host functions, as announced by the host for this kind of object. */
  [functionName: string]: ((...args: HostArgument[]) => HostResult) | string | undefined;
}

/**
 * Connects to the host's request pipe named by `pluginId`. Returns `true`; once
 * connected, later calls return `true` at once and change nothing. Throws when the
 * identifier is missing, not a string, empty, or the host cannot be reached.
 */
export function Initialize(pluginId: string): true;

/**
 * Returns the root object of the host's scripting model as a new proxy object.
 * Throws when not initialized or when the host's answer is not a usable proxy.
 */
export function GetKestrel(): ProxyObject;

/**
 * Tells the host that the plug-in unloads and closes the request pipe. Returns
 * `true` (also when never initialized); the API timeout goes back to 0. Registered
 * callbacks are not touched.
 */
export function CleanUp(): true;

/**
 * Registers `callbackFunction` with the host under `callbackName`. When the host
 * fires the callback, the function runs on the JavaScript thread with no arguments;
 * an exception it throws becomes an uncaught exception of the process.
 * Registering a name again replaces its function without asking the host. Returns
 * `false` when the callback pipe cannot be opened. While any callback is registered
 * the process stays alive to receive them.
 */
export function RegisterCallback(callbackName: string, callbackFunction: () => void): boolean;

/**
 * Removes the callback registered under `callbackName` after the host agreed.
 * Returns `false`, without asking the host, when no such callback is registered.
 * Removing the last one closes the callback pipe.
 */
export function DeregisterCallback(callbackName: string): boolean;

/**
 * Sets how long, in whole seconds, every later call waits for the host's answer;
 * no argument means no limit. The host must accept the new value. Returns `true`.
 */
export function SetAPITimeout(timeoutSeconds?: number): true;
