// Type declarations of the Hostlink add-on: the six exported functions, the two Promise
// entries Async and GetKestrelAsync, and the proxy objects through which a plug-in drives
// the host's scripting model. A plug-in may describe its host's objects as interfaces
// and name them: GetKestrel<Application>(), Async<Application>(app).

/**
 * A value that travels to the host as an argument of a proxy method: booleans,
 * numbers (whole numbers in the 32-bit range as integers, others as doubles),
 * strings, proxy objects (as references to their host object) and objects or
 * arrays with at least one enumerable property (as tables). `null`, `undefined`,
 * empty objects and arrays, symbols and bigints are rejected: the methods of an
 * undescribed proxy (`HostMethod`) refuse `[]` and `{}` as arguments at compile time.
 */
export type HostArgument =
  | boolean
  | number
  | string
  | ProxyObject
  | readonly HostArgument[]
  | { readonly [key: string]: HostArgument };

/**
 * The arguments of a call as given, with `never` in place of each empty array or empty
 * object (one the add-on would refuse), so that the call does not type-check.
 */
export type NonEmptyArguments<A extends readonly unknown[]> = {
  [I in keyof A]: [keyof A[I]] extends [never] ? never : A[I] extends readonly [] ? never : A[I];
};

/**
 * A method of a proxy whose host object has no interface of its own: any arguments that
 * are host arguments, a result of any type (the host decides it at run time).
 */
export type HostMethod = <const A extends readonly HostArgument[]>(...args: A & NonEmptyArguments<A>) => any;

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
 * Proxy objects have no enumerable properties. Every name but `uniqueId` types as a
 * host function; describe the host's objects as interfaces to type their results.
 */
export type ProxyObject = {
  /** The host's second identifier of this object; present only when not empty. Read-only. */
  readonly uniqueId?: string;
} & {
  /** Host functions, as announced by the host for this kind of object. */
  readonly [functionName: string]: HostMethod;
};

/**
 * Connects to the host's request pipe named by `pluginId`. Returns `true`; once
 * connected, later calls return `true` at once and change nothing. Throws when the
 * identifier is missing, not a string, empty, or the host cannot be reached.
 */
export function Initialize(pluginId: string): true;

/**
 * Returns the root object of the host's scripting model as a new proxy object, typed
 * as `T` (an interface of the host's functions) when given.
 * Throws when not initialized or when the host's answer is not a usable proxy.
 */
export function GetKestrel<T extends object = ProxyObject>(): T;

/**
 * The same as `GetKestrel`, without blocking: a Promise of the root proxy that rejects
 * with the `Error` `GetKestrel` would throw. Never throws itself.
 */
export function GetKestrelAsync<T extends object = ProxyObject>(): Promise<T>;

/** The Promise form of one proxy method: the same arguments, a Promise of its result. */
export type AsyncMethod<F> = F extends (...args: infer A) => infer R
  ? (...args: A) => Promise<Awaited<R>>
  : never;

/**
 * The object `Async(proxy)` returns: one method per host function of the proxy, each
 * returning a Promise of what the synchronous method returns. Properties that are not
 * functions (`uniqueId`) are left out. For an undescribed proxy (every name a function),
 * every name is a Promise method.
 */
export type Async<T> = string extends keyof T
  ? {
      readonly [functionName: string]: <const A extends readonly HostArgument[]>(
        ...args: A & NonEmptyArguments<A>
      ) => Promise<any>;
    }
  : {
      [K in keyof T as NonNullable<T[K]> extends string ? never : K]: AsyncMethod<NonNullable<T[K]>>;
    };

export interface AsyncOptions {
  /**
   * Rejects every call of this object not yet sent to the host with an `AbortError`
   * (a `DOMException`) when it fires; a call already sent is not abandoned.
   */
  signal?: AbortSignal;
}

/**
 * Promise calls on `proxy`: an object with one method per host function of the proxy's
 * class. A call converts its arguments at once, waits its turn behind every call made
 * before it (synchronous ones included, from every thread of the process), and leaves
 * the JavaScript thread free while the host works. Its Promise rejects with the `Error`
 * the synchronous call would throw; the methods never throw. Throws when `proxy` is not
 * a proxy object or `options.signal` is not an `AbortSignal`.
 */
export function Async<T extends object>(proxy: T, options?: AsyncOptions): Async<T>;

/**
 * Tells the host that the plug-in unloads and closes the request pipe. A call already
 * sent finishes first; every call not yet sent (Promise calls, and synchronous calls
 * waiting in other threads) fails with the not-initialized error. Registered callbacks
 * are deregistered and the callback pipe closed. Returns `true` (also when never
 * initialized); the API timeout goes back to 0.
 */
export function CleanUp(): true;

/**
 * Registers `callbackFunction` with the host under `callbackName`. When the host
 * fires the callback, the function runs on the JavaScript thread with the values the
 * host sent with it, converted as results are (none from a host that sends none); `Args`
 * types them (untyped, they are `any`, as an undescribed proxy's results are). An exception it throws becomes an uncaught exception of the process.
 * Registering a name again replaces its function without asking the host. Returns
 * `false` when the callback pipe cannot be opened. While any callback is registered
 * the process stays alive to receive them.
 */
export function RegisterCallback<Args extends unknown[] = any[]>(
  callbackName: string,
  callbackFunction: (...args: Args) => void,
): boolean;

/**
 * Removes the callback registered under `callbackName` after the host agreed.
 * Returns `false`, without asking the host, when no such callback is registered.
 * Removing the last one closes the callback pipe.
 */
export function DeregisterCallback(callbackName: string): boolean;

/**
 * Sets how long, in seconds, every later call waits for the host's answer, counted
 * from when its request is written; a fraction counts in milliseconds, rounded up. No
 * argument or 0 means no limit. Throws for a negative, non-finite or larger value than
 * 4294967.295, with nothing sent. The host must accept the new value. Returns `true`.
 */
export function SetAPITimeout(timeoutSeconds?: number): true;
