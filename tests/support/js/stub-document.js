'use strict';

// A small stand-in for the browser page that our generated scripts run in:
// a window and a document with an optional root element, data attributes,
// inline style, attributes, event listeners (with `once`), a
// MutationObserver for child-list changes, and CustomEvent, which Node's
// `vm` contexts lack. Scripts run in a `vm` context whose global object is
// the window, as in a browser.

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

class StubCustomEvent {
  constructor(type, init = {}) {
    this.type = type;
    this.detail = init.detail === undefined ? null : init.detail;
  }
}

class StubElement {
  constructor(tagName) {
    this.tagName = tagName;
    this.dataset = {};
    this.style = {};
    this.attributes = {};
  }

  setAttribute(name, value) {
    this.attributes[name] = String(value);
  }

  getAttribute(name) {
    return Object.prototype.hasOwnProperty.call(this.attributes, name) ? this.attributes[name] : null;
  }
}

class StubDocument extends StubEventTarget {
  constructor(withRoot) {
    super();
    this.documentElement = withRoot ? new StubElement('HTML') : null;
    this.observers = new Set();
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

function createPage({ withRoot = true } = {}) {
  const document = new StubDocument(withRoot);

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
  window.CustomEvent = StubCustomEvent;
  const context = vm.createContext(window);
  return {
    window,
    document,
    run: (source) => vm.runInContext(source, context),
  };
}

module.exports = { createPage };
