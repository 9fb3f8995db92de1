DELETE FROM order_lines ol USING orders o WHERE o.order_id = ol.order_id AND o.cancelled_at IS NOT NULL AND o.cancelled_at < now() - INTERVAL '1 year' RETURNING ol.order_line_id
