SELECT o.order_id, c.full_name, o.total FROM orders o INNER JOIN customers c ON c.customer_id = o.customer_id WHERE o.total > 250 AND o.status = 'shipped' ORDER BY o.total DESC
