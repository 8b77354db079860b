'use strict';

// A small stand-in for the browser page that our generated scripts run in:
// a window and a document with an optional root element (and optional head
// and body inside it), data attributes, inline style, attributes, class
// lists, child elements, lookups by id and by one class or id selector,
// event listeners (with `once`), a MutationObserver for child-list changes,
// and Event and CustomEvent, which Node's `vm` contexts lack. Scripts run in
// a `vm` context whose global object is the window, as in a browser.

const vm = require('vm');

class StubEventTarget {
  constructor() {
    this.listeners = new Map();
    this.dispatched = [];
  }

  addEventListener(type, listener, options = {}) {
    if (!this.listeners.has(type)) this.listeners.set(type, []);
    this.listeners.get(type).push({ listener, once: Boolean(options && options.once) });
  }

  removeEventListener(type, listener) {
    const entries = this.listeners.get(type) || [];
    this.listeners.set(type, entries.filter((entry) => entry.listener !== listener));
  }

  dispatchEvent(event) {
    this.dispatched.push(event);
    const entries = [...(this.listeners.get(event.type) || [])];
    this.listeners.set(event.type, entries.filter((entry) => !entry.once));
    for (const entry of entries) entry.listener.call(this, event);
    return true;
  }

  listenerCount(type) {
    return (this.listeners.get(type) || []).length;
  }
}

class StubEvent {
  constructor(type) {
    this.type = type;
  }
}

class StubCustomEvent extends StubEvent {
  constructor(type, init = {}) {
    super(type);
    this.detail = init.detail === undefined ? null : init.detail;
  }
}

class StubClassList {
  constructor() {
    this.names = [];
  }

  add(...names) {
    for (const name of names) if (!this.names.includes(name)) this.names.push(name);
  }

  remove(...names) {
    this.names = this.names.filter((name) => !names.includes(name));
  }

  contains(name) {
    return this.names.includes(name);
  }
}

class StubElement {
  constructor(tagName) {
    this.tagName = tagName;
    this.dataset = {};
    this.style = {};
    this.attributes = {};
    this.id = '';
    this.textContent = '';
    this.classList = new StubClassList();
    this.children = [];
    this.parentNode = null;
  }

  appendChild(child) {
    child.parentNode = this;
    this.children.push(child);
    return child;
  }

  // This element's descendants, depth first, in document order.
  *descendants() {
    for (const child of this.children) {
      yield child;
      yield* child.descendants();
    }
  }

  setAttribute(name, value) {
    this.attributes[name] = String(value);
  }

  getAttribute(name) {
    return Object.prototype.hasOwnProperty.call(this.attributes, name) ? this.attributes[name] : null;
  }
}

class StubDocument extends StubEventTarget {
  constructor(withRoot, withHead, withBody) {
    super();
    this.documentElement = withRoot ? new StubElement('HTML') : null;
    this.head = null;
    this.body = null;
    this.observers = new Set();
    if (withHead) this.appendHead();
    if (withBody) this.appendBody();
  }

  createElement(tagName) {
    return new StubElement(String(tagName).toUpperCase());
  }

  *elements() {
    if (!this.documentElement) return;
    yield this.documentElement;
    yield* this.documentElement.descendants();
  }

  getElementById(id) {
    for (const element of this.elements()) if (element.id === id) return element;
    return null;
  }

  // Only a single ".class" or "#id" selector.
  querySelector(selector) {
    const match = /^([.#])([\w-]+)$/.exec(selector);
    if (!match) throw new Error(`only ".class" and "#id" selectors are stubbed: ${selector}`);
    const [, kind, name] = match;
    for (const element of this.elements()) {
      if (kind === '#' ? element.id === name : element.classList.contains(name)) return element;
    }
    return null;
  }

  // The parser adds the head or the body inside the root.
  appendHead() {
    this.head = this.documentElement.appendChild(new StubElement('HEAD'));
  }

  appendBody() {
    this.body = this.documentElement.appendChild(new StubElement('BODY'));
  }

  // The parser adds the root element: child-list observers hear of it.
  appendRoot() {
    this.documentElement = new StubElement('HTML');
    const records = [{ type: 'childList', target: this, addedNodes: [this.documentElement] }];
    for (const observer of [...this.observers]) observer.notify(records);
  }

  finishLoading() {
    this.dispatchEvent(new StubCustomEvent('DOMContentLoaded'));
  }
}

function createPage({ withRoot = true, withHead = false, withBody = false } = {}) {
  const document = new StubDocument(withRoot, withHead, withBody);

  class MutationObserver {
    constructor(callback) {
      this.callback = callback;
    }

    observe(target, options = {}) {
      if (target !== document || !options.childList) throw new Error('only child lists of the document are stubbed');
      document.observers.add(this);
    }

    disconnect() {
      document.observers.delete(this);
    }

    notify(records) {
      this.callback(records, this);
    }
  }

  const window = new StubEventTarget();
  window.window = window;
  window.document = document;
  window.MutationObserver = MutationObserver;
  window.Event = StubEvent;
  window.CustomEvent = StubCustomEvent;
  const context = vm.createContext(window);
  return {
    window,
    document,
    run: (source) => vm.runInContext(source, context),
  };
}

module.exports = { createPage };
