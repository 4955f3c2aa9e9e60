'use strict';
(() => {
  const show = JSON.parse(document.getElementById('pelisto-show').textContent);
  const blocks = document.querySelectorAll('template.pelisto-jpeg');
  const count = blocks.length;
  const stage = document.getElementById('stage');
  const hint = document.getElementById('hint');
  const caption = document.getElementById('caption');
  const fadeMs = Math.min(Math.max(Number(show.crossfadeMs) || 0, 0), 5000);
  // The page's own gestures: a swipe crosses a fifth of the screen's short side, a tap moves
  // less than 12 pixels; the hint stays 4 seconds.
  const swipeShare = 0.2;
  const tapDistance = 12;
  const hintMilliseconds = 4000;
  const actions = new Map();
  for (const [action, keys] of Object.entries(show.keys)) {
    for (const key of keys) {
      actions.set(key, action);
    }
  }

  // The fit rule of the other players, in the same arithmetic: the product width * ratio is
  // taken exactly (Dekker's split), then rounded as an 80-bit long double product would be and
  // to the nearest integer, halves to even.
  const splitter = 134217729;
  const split = (a) => {
    const c = splitter * a;
    const high = c - (c - a);
    return [high, a - high];
  };
  const heightFor = (width, ratio) => {
    const p = width * ratio;
    const [wh, wl] = split(width);
    const [rh, rl] = split(ratio);
    const e = wh * rh - p + wh * rl + wl * rh + wl * rl;
    const floor = Math.floor(p);
    const fraction = p - floor;
    if (fraction !== 0.5) {
      return fraction > 0.5 ? floor + 1 : floor;
    }
    // On a half in doubles: an error within half the long double's last place is lost there.
    if (Math.abs(e) <= 2 ** (Math.floor(Math.log2(p)) - 64)) {
      return floor % 2 === 0 ? floor : floor + 1;
    }
    return e > 0 ? floor + 1 : floor;
  };
  const fitSize = (pw, ph, ww, wh) => {
    if (pw < 1 || ph < 1) {
      return [0, 0];
    }
    const maxW = Math.max(ww, 1);
    const maxH = Math.max(wh, 1);
    if (pw <= maxW && ph <= maxH) {
      return [pw, ph];
    }
    const ratio = ph / pw;
    let width = Math.min(pw - 1, maxW);
    let height = heightFor(width, ratio);
    while (width >= 1 && height > maxH) {
      --width;
      height = heightFor(width, ratio);
    }
    return width < 1 ? [1, maxH] : [width, Math.max(height, 1)];
  };
  const zoomSize = (pw, ph, current, step, ww, wh) => {
    if (pw < 1 || ph < 1) {
      return [0, 0];
    }
    if (step === 0) {
      return fitSize(pw, ph, ww, wh);
    }
    const ratio = ph / pw;
    let width = current + step;
    if (step < 0 && width < show.minZoomWidth) {
      width = current;
    }
    let height = heightFor(width, ratio);
    if (step > 0 && (width > show.maxZoomExtent || height > show.maxZoomExtent)) {
      width = current;
      height = heightFor(width, ratio);
    }
    const clamp = (v) => Math.min(Math.max(v, 1), show.maxZoomExtent);
    return [clamp(width), clamp(height)];
  };
  // Centred with the division truncated toward zero, as the other players centre.
  const centre = ([w, h], ww, wh) => [Math.trunc((ww - w) / 2), Math.trunc((wh - h) / 2), w, h];
  const fitRect = (pw, ph, ww, wh) => centre(fitSize(pw, ph, ww, wh), ww, wh);
  // Read by the tests, which compare it with the other players' fit.
  window.pelisto = {fitRect, zoomSize};

  // Everything is placed in device pixels, so a phone or a 4K screen shows the picture sharp.
  const screenSize = () => {
    const ratio = window.devicePixelRatio || 1;
    return [Math.round(window.innerWidth * ratio), Math.round(window.innerHeight * ratio), ratio];
  };

  const bytesOf = (block) => {
    const text = block.content.textContent;
    if (Uint8Array.fromBase64) {
      return Uint8Array.fromBase64(text);
    }
    const binary = atob(text);
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; ++i) {
      bytes[i] = binary.charCodeAt(i);
    }
    return bytes;
  };

  // Only the shown picture and its neighbours have a Blob URL and a decoded image; the others
  // are let go, so a long show does not exhaust a phone.
  const held = new Map();
  const hold = (index) => {
    let entry = held.get(index);
    if (!entry) {
      const url = URL.createObjectURL(new Blob([bytesOf(blocks[index])], {type: 'image/jpeg'}));
      const img = new Image();
      img.alt = '';
      img.draggable = false;
      img.src = url;
      entry = {url, img, ready: img.decode().then(() => true, () => false)};
      held.set(index, entry);
    }
    return entry;
  };
  // The order every player follows: without shuffle the list's; with it each round a new order
  // of all the pictures, the next round never starting with the picture just shown. Going back
  // retraces what was shown, then wraps as going forward does. Stopping at the end, the last
  // picture of the first round stays.
  const order = (() => {
    const shuffle = Boolean(show.shuffle);
    const stopAtEnd = Boolean(show.stopAtEnd);
    const seen = [];
    let at = 0;
    const random = (n) => Math.floor(Math.random() * n);
    const drawRound = () => {
      const first = seen.length;
      for (let i = 0; i < count; ++i) {
        seen.push(i);
      }
      for (let i = count; i > 1; --i) {
        const j = first + random(i);
        [seen[first + i - 1], seen[j]] = [seen[j], seen[first + i - 1]];
      }
      if (first > 0 && count > 1 && seen[first] === seen[first - 1]) {
        const j = first + 1 + random(count - 1);
        [seen[first], seen[j]] = [seen[j], seen[first]];
      }
    };
    if (shuffle && count > 0) {
      drawRound();
    }
    const indexAt = (position) => (shuffle ? seen[position] : position % count);
    const atEnd = () => stopAtEnd && count > 0 && at + 1 === count;
    // The position a step leads to, or -1 when it goes nowhere.
    const ahead = () => {
      if (count === 0 || atEnd()) {
        return -1;
      }
      if (shuffle && at + 1 === seen.length) {
        drawRound();
      }
      return shuffle ? at + 1 : (at + 1) % count;
    };
    const behind = () => (count === 0 ? -1 : at > 0 ? at - 1 : stopAtEnd ? -1 : count - 1);
    const move = (position) => {
      if (position < 0) {
        return false;
      }
      at = position;
      return true;
    };
    return {
      current: () => indexAt(at),
      atEnd,
      next: () => move(ahead()),
      previous: () => move(behind()),
      neighbours: () => [ahead(), behind()].filter((p) => p >= 0).map(indexAt),
    };
  })();
  // Read by the tests: the order's steps, as a key or the timer takes them.
  window.pelisto.order = order;
  const letGo = (keep) => {
    for (const [index, entry] of held) {
      if (!keep.has(index)) {
        held.delete(index);
        entry.img.removeAttribute('src');
        entry.img.remove();
        URL.revokeObjectURL(entry.url);
      }
    }
  };

  let current = -1;
  let view = null;
  let shown = null;
  let shownIndex = -1;
  let ticket = 0;

  // The size the writer read from the frame header, else (a header it could not find) the
  // decoded picture's.
  const naturalSize = (index) => {
    const data = blocks[index].dataset;
    const entry = held.get(index);
    const img = entry && entry.img;
    return [Number(data.width) || (img && img.naturalWidth) || 0,
            Number(data.height) || (img && img.naturalHeight) || 0];
  };
  const draw = () => {
    if (!shown || !view || shownIndex !== view.index) {
      return;
    }
    // Sized in device pixels and scaled down by the ratio as a whole: sides and offsets in CSS
    // pixels would fall between device pixels and blur the picture.
    const scale = 1 / view.ratio;
    const [left, top, width, height] = view.rect;
    const style = shown.style;
    style.width = width + 'px';
    style.height = height + 'px';
    style.transform = `matrix(${scale}, 0, 0, ${scale}, ${left * scale}, ${top * scale})`;
  };
  const fitView = (index) => {
    const [ww, wh, ratio] = screenSize();
    const [pw, ph] = naturalSize(index);
    view = {index, pw, ph, ww, wh, ratio, rect: fitRect(pw, ph, ww, wh)};
  };
  const zoom = (step) => {
    if (!view) {
      return;
    }
    const size = zoomSize(view.pw, view.ph, view.rect[2], step, view.ww, view.wh);
    view.rect = centre(size, view.ww, view.wh);
    draw();
  };

  const showCaption = (index) => {
    caption.textContent = blocks[index].dataset.caption || '';
  };
  // The new picture comes in over the one left, from transparent to opaque; without a
  // crossfade it simply takes its place.
  const putUp = (img, left) => {
    if (!img) {
      stage.replaceChildren();
      return;
    }
    img.style.transition = '';
    img.style.opacity = '';
    if (!(fadeMs > 0) || !left || left === img || !left.isConnected) {
      stage.replaceChildren(img);
      return;
    }
    img.style.opacity = '0';
    stage.replaceChildren(left, img);
    img.getBoundingClientRect(); // the start of the transition is laid out first
    img.style.transition = `opacity ${fadeMs}ms linear`;
    img.style.opacity = '1';
    const done = () => {
      img.removeEventListener('transitionend', done);
      if (left.parentNode === stage && left !== shown) {
        left.remove();
      }
    };
    img.addEventListener('transitionend', done);
  };

  const showPicture = (index) => {
    current = index;
    const mine = ++ticket;
    fitView(index);
    showCaption(index);
    const keep = new Set([index, ...order.neighbours()]);
    letGo(keep);
    const entry = hold(index);
    entry.ready.then((decoded) => {
      if (mine !== ticket) {
        return;
      }
      if (!(view.pw > 0)) {
        fitView(index);
      }
      const left = shown;
      shown = decoded ? entry.img : null;
      shownIndex = index;
      draw();
      putUp(shown, left);
      // The neighbours are decoded once the shown picture is up: the next first.
      setTimeout(() => {
        if (mine === ticket) {
          for (const other of order.neighbours()) {
            hold(other);
          }
        }
      }, 0);
    });
  };
  const step = (delta) => {
    if (count > 1 && (delta > 0 ? order.next() : order.previous())) {
      showPicture(order.current());
    }
  };
  // The automatic advance; a picture stepped to by hand gets the whole period before it. It
  // ends on the last picture when the show stops there.
  let ticker = 0;
  const startTicker = () => {
    if (show.automatic && count > 1) {
      clearInterval(ticker);
      ticker = setInterval(() => {
        if (order.atEnd()) {
          clearInterval(ticker);
        } else {
          step(1);
        }
      }, show.delaySeconds * 1000);
    }
  };
  const stepByHand = (delta) => {
    startTicker();
    step(delta);
  };

  // Full screen where the browser has it: the first click or tap asks for it (and does no
  // more), F asks or leaves. An iPhone has none: the page already fills the window.
  const root = document.documentElement;
  const request = root.requestFullscreen || root.webkitRequestFullscreen;
  const canFullScreen = Boolean(
      request && (document.fullscreenEnabled || document.webkitFullscreenEnabled));
  const inFullScreen = () => Boolean(document.fullscreenElement || document.webkitFullscreenElement);
  const quietly = (call) => {
    try {
      const answer = call();
      if (answer && answer.catch) {
        answer.catch(() => {});
      }
    } catch (e) {
      // refused: the page stays as it is
    }
  };
  const enterFullScreen = () => quietly(() => request.call(root));
  const leaveFullScreen = () =>
      quietly(() => (document.exitFullscreen || document.webkitExitFullscreen).call(document));
  let askedFullScreen = false;
  const firstGesture = () => {
    const first = !askedFullScreen && canFullScreen && !inFullScreen();
    askedFullScreen = true;
    if (first) {
      enterFullScreen();
    }
    return first;
  };

  const hideHint = () => hint.classList.add('gone');
  setTimeout(hideHint, hintMilliseconds);

  window.addEventListener('keydown', (event) => {
    if (event.ctrlKey || event.altKey || event.metaKey) {
      return;
    }
    hideHint();
    if (event.key === 'f' || event.key === 'F') {
      event.preventDefault();
      if (canFullScreen) {
        askedFullScreen = true;
        inFullScreen() ? leaveFullScreen() : enterFullScreen();
      }
      return;
    }
    const action = actions.get(event.key);
    if (!action) {
      return;
    }
    event.preventDefault();
    if (action === 'next') {
      stepByHand(1);
    } else if (action === 'previous') {
      stepByHand(-1);
    } else if (action === 'zoomIn') {
      zoom(show.zoomStep);
    } else if (action === 'zoomOut') {
      zoom(-show.zoomStep);
    } else if (action === 'fit') {
      zoom(0);
    } else if (action === 'leave' && inFullScreen()) {
      leaveFullScreen();
    }
  });

  // A click steps forward as in the other players; a tap steps by the half it lands on, a
  // swipe by its direction.
  window.addEventListener('click', () => {
    hideHint();
    if (!firstGesture()) {
      stepByHand(1);
    }
  });
  let touch = null;
  window.addEventListener(
      'touchstart',
      (event) => {
        const t = event.touches;
        touch = t.length === 1 ? {x: t[0].clientX, y: t[0].clientY} : null;
      },
      {passive: true});
  // The page neither scrolls nor zooms under a finger.
  window.addEventListener(
      'touchmove',
      (event) => {
        if (event.cancelable) {
          event.preventDefault();
        }
      },
      {passive: false});
  window.addEventListener(
      'touchend',
      (event) => {
        // No mouse events and no click follow a handled touch.
        if (event.cancelable) {
          event.preventDefault();
        }
        const start = touch;
        touch = null;
        if (!start || event.touches.length !== 0 || event.changedTouches.length !== 1) {
          return;
        }
        hideHint();
        const end = event.changedTouches[0];
        const dx = end.clientX - start.x;
        const dy = end.clientY - start.y;
        const across = Math.min(window.innerWidth, window.innerHeight);
        if (Math.abs(dx) >= across * swipeShare && Math.abs(dx) > 2 * Math.abs(dy)) {
          stepByHand(dx < 0 ? 1 : -1);
        } else if (Math.hypot(dx, dy) <= tapDistance && !firstGesture()) {
          stepByHand(end.clientX < window.innerWidth / 2 ? -1 : 1);
        }
      },
      {passive: false});
  window.addEventListener('touchcancel', () => {
    touch = null;
  });

  window.addEventListener('resize', () => {
    if (current >= 0) {
      fitView(current);
      draw();
    }
  });

  // An automatic show keeps the screen awake where the browser allows it.
  if (show.automatic) {
    const awake = () => {
      if (document.visibilityState === 'visible' && navigator.wakeLock) {
        quietly(() => navigator.wakeLock.request('screen'));
      }
    };
    awake();
    document.addEventListener('visibilitychange', awake);
    startTicker();
  }

  if (count > 0) {
    showPicture(order.current());
  }
})();
